// Subjects that clean to a name already given, to "index", or that hold control characters: every
// article keeps a page of its own, and the table of contents links each one.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/run_fixture.h"

namespace lorva::testing {
namespace {

namespace fs = std::filesystem;

int HexDigit(char c) {
  return c <= '9' ? c - '0' : c - 'A' + 10;
}

// A link target of the index as the file name it opens.
std::string Unescape(const std::string& href) {
  std::string out;
  for (std::size_t i = 0; i < href.size(); ++i) {
    if (href[i] == '%' && i + 2 < href.size()) {
      out += static_cast<char>(HexDigit(href[i + 1]) * 16 + HexDigit(href[i + 2]));
      i += 2;
    } else {
      out += href[i];
    }
  }
  return out;
}

struct Entry {
  std::string file;  // the link target, unescaped
  std::string text;  // the link text
};

std::vector<Entry> EntriesOf(const std::string& index) {
  std::vector<Entry> entries;
  const std::string open = "<li><a href='";
  for (std::size_t at = index.find(open); at != std::string::npos; at = index.find(open, at)) {
    at += open.size();
    const std::size_t quote = index.find("'>", at);
    const std::size_t close = index.find("</a></li>", quote);
    entries.push_back(
        {Unescape(index.substr(at, quote - at)), index.substr(quote + 2, close - quote - 2)});
  }
  return entries;
}

struct Page {
  int item;          // position of the article in the folder, from 0
  std::string text;  // its link text
  std::string file;  // the file its link opens
};

struct Case {
  const char* what;
  std::vector<std::string> subjects;  // in folder order
  std::vector<Page> pages;
  std::vector<std::string> before = {};  // pages there from an earlier run; then no overwriting
};

class HostileSubjectsTest : public ProgramFixture {};

TEST_F(HostileSubjectsTest, EveryArticleKeepsItsOwnPageReachedFromTheIndex) {
  const Case cases[] = {
      {"a subject that cleans to index",
       {"index", "Other"},
       {{0, "index", "index (2).htm"}, {1, "Other", "Other.htm"}}},
      {"index in another letter case", {"INDEX?"}, {{0, "INDEX?", "INDEX (2).htm"}}},
      {"subjects that clean to one name, in folder order",
       {"a/b", "ab", "a?b"},
       {{0, "a/b", "ab.htm"}, {1, "ab", "ab (2).htm"}, {2, "a?b", "ab (3).htm"}}},
      {"names that differ in letter case only",
       {"A:B", "ab"},
       {{0, "A:B", "AB.htm"}, {1, "ab", "ab (2).htm"}}},
      {"a duplicate subject takes no name",
       {"ab", "AB", "a?b"},
       {{0, "ab", "ab.htm"}, {2, "a?b", "ab (2).htm"}}},
      {"a page kept from an earlier run keeps its name",
       {"a/b", "ab"},
       {{1, "ab", "ab (2).htm"}},
       {"ab.htm"}},
      {"control characters",
       {std::string("x\0y", 3), "tab\there\r\n", "bell\x07", "del\x7F", "c1\xC2\x85z",
        "\x01\x02 Lead"},
       {{0, "x y", "x y.htm"},
        {1, "tab here", "tab here.htm"},
        {2, "bell", "bell.htm"},
        {3, "del", "del.htm"},
        {4, "c1 z", "c1 z.htm"},
        {5, "Lead", "Lead.htm"}}},
  };
  Load();
  form->optGroup.Select(1);
  form->chkAttachments.SetValue(0);
  int run = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path out = dir / ("run" + std::to_string(run++));
    fs::create_directory(out);
    for (const std::string& page : c.before) {
      std::ofstream(out / page) << "kept from an earlier run";
    }
    form->txtDestination.SetText(out.string());
    form->chkOverwrite.SetValue(c.before.empty() ? 1 : 0);
    kb->items.clear();
    for (std::size_t i = 0; i < c.subjects.size(); ++i) {
      Add(FakeItem::Post(c.subjects[i], "", "",
                         "<html><body>item " + std::to_string(i) + "</body></html>"));
    }
    Generate();

    const std::string index = Read((out / "index.htm").lexically_relative(dir).string());
    ASSERT_EQ(index.substr(0, kPlainHead.size()), kPlainHead) << "index.htm is the contents";
    for (const char ch : index) EXPECT_GE(static_cast<unsigned char>(ch), 0x20) << index;
    const std::vector<Entry> entries = EntriesOf(index);
    ASSERT_EQ(entries.size(), c.pages.size()) << index;
    for (const Page& page : c.pages) {
      bool listed = false;
      for (const Entry& entry : entries)
        listed = listed || (entry.text == page.text && entry.file == page.file);
      EXPECT_TRUE(listed) << page.text << " -> " << page.file << " in " << index;
      const std::string written = Read((out / page.file).lexically_relative(dir).string());
      EXPECT_NE(written.find("item " + std::to_string(page.item) + "<"), std::string::npos)
          << page.file << ": " << written;
      EXPECT_NE(written.find("<h1>" + page.text + "</h1>"), std::string::npos) << written;
    }
    for (const std::string& page : c.before) {
      EXPECT_EQ(Read((out / page).lexically_relative(dir).string()), "kept from an earlier run");
    }
    for (const auto& file : fs::directory_iterator(out)) {
      for (const char ch : file.path().filename().string()) {
        EXPECT_GE(static_cast<unsigned char>(ch), 0x20) << file.path();
      }
    }
  }
}

TEST_F(HostileSubjectsTest, DestinationTypedWithBlanksAroundIsTheFolderChecked) {
  Add(FakeItem::Post("One", "", ""));
  Load();
  form->optGroup.Select(1);
  fs::create_directory(dir / "tb");
  form->txtDestination.SetText("  " + (dir / "tb").string() + "/ ");
  Generate();
  EXPECT_TRUE(Exists("tb/index.htm"));
  EXPECT_TRUE(Exists("tb/One.htm"));
  EXPECT_EQ(form->LastRun().outcome, RunSummary::Outcome::kCompleted);
  EXPECT_TRUE(dialogs.shown().empty());
}

}  // namespace
}  // namespace lorva::testing
