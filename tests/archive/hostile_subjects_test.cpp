// Subjects that clean to a name already given, to "index", or that hold control characters: every
// article keeps a page of its own, and the table of contents links each one.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support_code/program_fixture.h"

namespace lorva::testing {
namespace {

namespace fs = std::filesystem;

struct Page {
  int item;          // position of the article in the folder, from 0
  std::string text;  // its link text in the index
  std::string href;  // its link target; the file it opens has blanks for "%20"
};

class HostileSubjectsTest : public ProgramFixture {};

TEST_F(HostileSubjectsTest, EveryArticleKeepsItsOwnPageReachedFromTheIndex) {
  const struct {
    const char* what;
    std::vector<std::string> subjects;  // in folder order
    std::vector<Page> pages;
    std::string before = "";  // a page there from an earlier run; overwriting is then off
  } cases[] = {
      {"a subject that cleans to index",
       {"index", "Other"},
       {{0, "index", "index%20(2).htm"}, {1, "Other", "Other.htm"}}},
      {"index in another letter case", {"INDEX?"}, {{0, "INDEX?", "INDEX%20(2).htm"}}},
      {"subjects that clean to one name",
       {"a/b", "ab", "A:B"},
       {{0, "a/b", "ab.htm"}, {1, "ab", "ab%20(2).htm"}, {2, "A:B", "AB%20(3).htm"}}},
      {"a duplicate subject takes no name",
       {"ab", "AB", "a?b"},
       {{0, "ab", "ab.htm"}, {2, "a?b", "ab%20(2).htm"}}},
      {"a page kept from an earlier run keeps its name",
       {"a/b", "ab"},
       {{1, "ab", "ab%20(2).htm"}},
       "ab.htm"},
      {"control characters",
       {std::string("x\0y", 3), "tab\there\r\n", "bell\x07", "c1\xC2\x85z", "\x01\x7F Lead"},
       {{0, "x y", "x%20y.htm"},
        {1, "tab here", "tab%20here.htm"},
        {2, "bell", "bell.htm"},
        {3, "c1 z", "c1%20z.htm"},
        {4, "Lead", "Lead.htm"}}},
  };
  Load();
  form->optGroup.Select(1);
  form->chkAttachments.SetValue(0);
  int runs = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string out = "run" + std::to_string(runs++) + "/";  // a folder for each case
    fs::create_directory(folder / out);
    form->txtDestination.SetText(folder / out);
    form->chkOverwrite.SetValue(c.before.empty() ? 1 : 0);
    if (!c.before.empty()) folder.Write(out + c.before, "kept");
    kb->items.clear();
    for (std::size_t i = 0; i < c.subjects.size(); ++i) {
      Add(FakeItem::Post(c.subjects[i], "", "", "<body>item " + std::to_string(i) + "<"));
    }
    Generate();

    const std::string index = Read(out + "index.htm");
    EXPECT_EQ(index.substr(0, kPlainHead.size()), kPlainHead) << "index.htm is the contents";
    for (const char ch : index) ASSERT_GE(static_cast<unsigned char>(ch), 0x20) << index;
    std::size_t entries = 0;
    for (std::size_t at = index.find("<li>"); at != std::string::npos;
         at = index.find("<li>", at + 1)) {
      ++entries;
    }
    EXPECT_EQ(entries, c.pages.size()) << index;
    for (const Page& page : c.pages) {
      EXPECT_NE(index.find("<li><a href='" + page.href + "'>" + page.text + "</a></li>"),
                std::string::npos)
          << page.href << " in " << index;
      std::string file = page.href;
      for (std::size_t at; (at = file.find("%20")) != std::string::npos;)
        file.replace(at, 3, 1, ' ');
      const std::string written = Read(out + file);
      EXPECT_NE(written.find("<h1>" + page.text + "</h1>"), std::string::npos) << written;
      EXPECT_NE(written.find("item " + std::to_string(page.item) + "<"), std::string::npos);
    }
    EXPECT_EQ(c.before.empty() ? "kept" : Read(out + c.before), "kept");
  }
}

TEST_F(HostileSubjectsTest, DestinationTypedWithBlanksAroundIsTheFolderChecked) {
  Add(FakeItem::Post("One", "", ""));
  Load();
  form->optGroup.Select(1);
  fs::create_directory(folder / "tb");
  form->txtDestination.SetText("  " + folder / "tb" + "/ ");
  Generate();
  EXPECT_TRUE(Exists("tb/index.htm"));
  EXPECT_TRUE(Exists("tb/One.htm"));
  EXPECT_EQ(form->LastRun().outcome, RunSummary::Outcome::kCompleted);
}

}  // namespace
}  // namespace lorva::testing
