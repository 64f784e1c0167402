#include <gtest/gtest.h>

#include <QByteArray>

#include <filesystem>
#include <string>
#include <vector>

#include "base/html_text.h"
#include "page/sorted_dictionary.h"
#include "support/file_system.h"
#include "support_code/program_fixture.h"

namespace lorva::testing {
namespace {

class FlatRunTest : public ProgramFixture {
 protected:
  void LoadFlat() {
    Load();
    form->optGroup.Select(1);  // "None": the flat run
    form->chkAttachments.SetValue(0);
  }
  // The index of a flat run: the head, one entry per "href=text", the closing.
  static std::string Index(const std::vector<std::string>& entries) {
    std::string index = kPlainHead + "<ul>";
    for (const std::string& entry : entries) {
      const std::size_t eq = entry.find('=');
      index += "<li><a href='" + entry.substr(0, eq) + "'>" + entry.substr(eq + 1) + "</a></li>";
    }
    return index + kIndexClosing;
  }
};

// Every article keeps a page of its own reached from the index, whatever its subject cleans to
// (a name already given, "index", control characters); each item is fetched once.
TEST_F(FlatRunTest, IndexListsThePagesInSubjectOrder) {
  const struct {
    const char* what;
    std::vector<std::string> subjects;  // in folder order; "" stands for an item that is nothing
    const char* firstNumber;            // numbered pages from this number; none: by subject
    std::vector<std::string> index;
    std::string before = "";  // a page there from an earlier run; overwriting is then off
  } cases[] = {
      {"subjects in letter-case-blind order",
       {"Zebra crossing", "apple pie", "Mango"},
       nullptr,
       {"apple%20pie.htm=apple pie", "Mango.htm=Mango", "Zebra%20crossing.htm=Zebra crossing"}},
      {"numbered in folder order; an item that is nothing uses no number",
       {"Charlie", "", "Alpha", "Bravo"},
       "1000",
       {"1002.htm=Alpha", "1003.htm=Bravo", "1001.htm=Charlie"}},
      {"the counter goes on past the first number's range",
       {"One", "Two", "Three"},
       "32766",
       {"32767.htm=One", "32769.htm=Three", "32768.htm=Two"}},
      {"texts escaped, link targets encoded, text beyond ASCII as numeric references",
       {"Tom's <b> & #1 100% Caf\xC3\xA9 \xE6\x97\xA5"},
       nullptr,
       {"Tom%27s%20b%20%26%20%231%20100%25%20Caf%C3%A9%20%E6%97%A5.htm=Tom&#39;s &lt;b&gt; &amp; "
        "#1 100% Caf&#233; &#26085;"}},
      {"a subject that cleans to index in another letter case",
       {"INDEX?", "Other"},
       nullptr,
       {"INDEX%20(2).htm=INDEX?", "Other.htm=Other"}},
      {"a duplicate subject: one page, for the first, and no name taken",
       {" ab ", "AB", "a?b"},
       nullptr,
       {"ab%20(2).htm=a?b", "ab.htm=ab"}},
      {"a page kept from an earlier run keeps its name",
       {"a/b", "ab"},
       nullptr,
       {"ab%20(2).htm=ab"},
       "ab.htm"},
      {"control characters blanked, blanks around dropped",
       {std::string("x\0y", 3), "\x01\x7F Lead\r\n"},
       nullptr,
       {"Lead.htm=Lead", "x%20y.htm=x y"}},
  };
  Add(FakeItem::Post("x", "", ""));
  LoadFlat();
  form->chkAttachments.SetValue(1);
  int run = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string out = "run" + std::to_string(run++) + "/";  // a folder for each case
    std::filesystem::create_directory(folder / out);
    form->txtDestination.SetText("  " + folder / out + " ");  // blanks around are dropped
    form->chkOverwrite.SetValue(c.before.empty() ? 1 : 0);
    if (!c.before.empty()) folder.Write(out + c.before, "kept");
    kb->items.clear();
    for (const std::string& subject : c.subjects) {
      Add(subject.empty() ? nullptr : FakeItem::Post(subject, "", ""));
    }
    form->optNaming.Select(c.firstNumber ? 1 : 0);
    if (c.firstNumber) form->txtNumbering.SetText(c.firstNumber);
    kb->fetches = 0;
    shell.opened.clear();
    Generate();
    EXPECT_EQ(kb->fetches, static_cast<int>(c.subjects.size()));
    EXPECT_EQ(form->LastRun().outcome, RunSummary::Outcome::kCompleted);
    EXPECT_EQ(form->LastRun().skipped, c.before.empty() ? 0 : 1);
    EXPECT_EQ(Read(out + "index.htm"), Index(c.index));
    for (const std::string& entry : c.index) {
      const std::string file =  // the link target decoded
          QByteArray::fromPercentEncoding(entry.substr(0, entry.find('=')).c_str()).toStdString();
      EXPECT_NE(Read(out + file)
                    .find("<h1>" + entry.substr(entry.find('=') + 1) + "</h1>" +
                          "<a href='index.htm'><b>Table of Contents (index)</b></a>"),
                std::string::npos)
          << file;
    }
    EXPECT_EQ(shell.opened, std::vector<std::string>{folder / (out + "index.htm")});
    EXPECT_EQ(c.before.empty() ? "kept" : Read(out + c.before), "kept");
    EXPECT_TRUE(dialogs.Messages().empty());
  }
  EXPECT_TRUE(Exists("run0/style.css") && Exists("run0/Images/bulletredsmall.gif") &&
              !Exists("run0/outline.js"));
}

// Without the table of contents ticked, pages have no back link and index.htm is not opened (the
// index table above checks both with it ticked). With attachments, the rich-text copy of the item
// is saved and removed again.
TEST_F(FlatRunTest, NoBackLinkOrOpeningWithoutTheTableOfContents) {
  auto item = Add(FakeItem::Post("One", "", ""));
  LoadFlat();
  form->chkExtractIndexPage.SetValue(0);
  form->chkAttachments.SetValue(1);  // a rich-text copy is saved; the unavailable route removes it
  Generate();
  EXPECT_EQ(Read("One.htm").find("Table of Contents (index)"), std::string::npos);
  EXPECT_TRUE(shell.opened.empty());
  EXPECT_EQ(item->saveAsCalls, 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder / "Images"), {}), 1)
      << "the bullet only";
}

TEST_F(FlatRunTest, UnreadableItemIsPassedOverWithoutANumberAndTold) {
  Add(FakeItem::Post("One", "", ""));
  Add(FakeItem::Post("Broken", "", ""));
  Add(FakeItem::Post("Damaged body", "", ""))->failBody = true;
  Add(FakeItem::Post("Four", "", ""));
  kb->unreadable = {2};
  LoadFlat();
  form->optNaming.Select(1);
  Generate();
  EXPECT_EQ(Read("index.htm"), Index({"1002.htm=Four", "1001.htm=One"}));
  EXPECT_FALSE(Exists("1003.htm"));
  ASSERT_EQ(dialogs.shown().size(), 1u);
  EXPECT_EQ(dialogs.shown()[0].text,
            "2 items could not be read and were not archived:\r\n\r\nThe item cannot be "
            "read\r\nThe HTML body of Damaged body is damaged");
  EXPECT_EQ(dialogs.shown()[0].title, "LorvaArchive");

  // Ten items are named and the rest counted; unreadable attachments follow.
  RunSummary many, part;
  for (int i = 1; i <= 12; ++i) many.unreadable.push_back("r" + std::to_string(i));
  many.unreadableParts = {"p1", "p2"};
  part.unreadableParts = {"p1"};
  EXPECT_EQ(
      UnreadableItemsMessage(many),
      "12 items could not be read and were not archived:\r\n\r\nr1\r\nr2\r\nr3\r\nr4\r\nr5\r\n"
      "r6\r\nr7\r\nr8\r\nr9\r\nr10\r\n... and 2 more.\r\n\r\n2 attachments could not be "
      "read; their articles were archived without them:\r\n\r\np1\r\np2");
  EXPECT_EQ(UnreadableItemsMessage(part),
            "1 attachment could not be read; its article was archived without it:\r\n\r\np1");
  EXPECT_EQ(UnreadableItemsMessage(RunSummary{}), "");
}

// A destination that is no folder, or a first number that is none, is refused before anything
// is written, and the window is idle again.
TEST_F(FlatRunTest, BadDestinationOrFirstNumberIsRefused) {
  Add(FakeItem::Post("One", "", ""));
  LoadFlat();
  const std::string badFolder = "Please specify a valid folder path to place the files!";
  const struct {
    std::string destination, firstNumber, message;
  } cases[] = {
      {Dest() + "/missing", "1000", badFolder},
      {Dest(), "abc", FirstNumberMessage("abc")},
  };
  form->optNaming.Select(1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.destination + " " + c.firstNumber);
    dialogs.Clear();
    form->txtDestination.SetText(c.destination);
    form->txtNumbering.SetText(c.firstNumber);
    Generate();
    EXPECT_EQ(dialogs.Messages(), std::vector<std::string>{c.message});
    EXPECT_EQ(form->cmdGenerate.Caption(), "Generate");
  }
  EXPECT_FALSE(Exists("index.htm"));
  EXPECT_EQ(form->LastRun().outcome, RunSummary::Outcome::kRefused);
}

TEST_F(FlatRunTest, RefusedItemAccessShowsItsMessageOtherErrorsGoToTheReporter) {
  Add(FakeItem::Post("One", "", ""));
  LoadFlat();
  kb->failItemsWith = errnum::kItemAccessRefused;
  Generate();
  EXPECT_EQ(dialogs.Messages(),
            std::vector<std::string>{"You need to enable the application to access the KB item "
                                     "to continue.\r\nPlease try again!"});
  EXPECT_EQ(form->cmdGenerate.Caption(), "Generate");

  kb->failItemsWith = errnum::kPermissionDenied;
  dialogs.Clear();
  EXPECT_THROW(Generate(), ProgramEnded);
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_NE(dialogs.Messages()[0].find("Sub routine : subGenerateArticlesNormal \r\n"),
            std::string::npos);
}

// A file service on which index.htm cannot be completed: its stream fails when closed.
class IndexFailsToClose : public FileSystemObject {
  struct Stream : TextStream {
    std::unique_ptr<TextStream> inner;  // never closed: never takes the index's place
    void Write(const std::string& text) override { inner->Write(text); }
    bool AtEndOfStream() override { return true; }
    std::string ReadAll() override { return ""; }
    void Close() override { throw Error(61, "Disk full"); }
  };

 public:
  std::unique_ptr<TextStream> CreateReplacingTextFile(const std::string& path) override {
    auto inner = FileSystemObject::CreateReplacingTextFile(path);
    if (!path.ends_with("/index.htm")) return inner;
    auto stream = std::make_unique<Stream>();
    stream->inner = std::move(inner);
    return stream;
  }
};

TEST_F(FlatRunTest, IndexThatCannotBeCompletedKeepsTheEarlierOneAndIsReported) {
  Add(FakeItem::Post("One", "", ""));
  LoadFlat();
  folder.Write("index.htm", "the earlier index");
  services.fs = std::make_shared<IndexFailsToClose>();
  EXPECT_THROW(Generate(), ProgramEnded);
  EXPECT_EQ(Read("index.htm"), "the earlier index");
  EXPECT_TRUE(Exists("One.htm"));
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_NE(dialogs.Messages()[0].find("Writing file to " + Dest() + "/index.htm\r\n"),
            std::string::npos)
      << dialogs.Messages()[0];
}

// The runs keep only subject and file name of each page for index.htm; its entries must still
// come in the order, and with the duplicates, of the sorted article dictionary: letter case,
// accents, digits, punctuation, folded forms ("ß" and "ss" match as keys).
TEST_F(FlatRunTest, IndexEntriesComeInTheSortedDictionarysOrder) {
  const char* subjects[] = {"apple",  "Zebra", "Äpfel",   "APPLE",  "éclair", "Eclair",
                            "ß",      "ss",    "10 tips", "9 tips", "a-b",    "ab",
                            "_under", "zèbre", "ÄPFEL",   "Œuvre",  "oeuvre", "b"};
  auto dictionary = fncCreateDic(services);  // filled as a run fills it, then sorted
  for (const char* subject : subjects) {
    Add(FakeItem::Post(subject, "", ""));
    if (!dictionary->Exists(subject)) dictionary->Add(subject, std::make_shared<cArticle>());
  }
  std::vector<std::string> expected, listed;
  for (const std::string& key : fncSortDictionary(services, *dictionary, 1, false)->Keys())
    expected.push_back(ToAsciiWithReferences(HtmlEscape(key)));
  LoadFlat();
  Generate();
  const std::string index = Read("index.htm");
  for (std::size_t at = index.find("'>"); at != std::string::npos; at = index.find("'>", at + 2))
    listed.push_back(index.substr(at + 2, index.find("</a>", at) - at - 2));
  EXPECT_EQ(listed, expected);
}

}  // namespace
}  // namespace lorva::testing
