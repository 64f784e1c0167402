#include <gtest/gtest.h>

#include <filesystem>
#include <map>
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
  // The index of a flat run: the head, one entry per "href text" pair, the closing.
  static std::string Index(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string index = kPlainHead + "<ul>";
    for (const auto& [href, text] : entries)
      index += "<li><a href='" + href + "'>" + text + "</a></li>";
    return index + kIndexClosing;
  }
};

TEST_F(FlatRunTest, IndexListsThePagesInSubjectOrder) {
  const struct {
    const char* what;
    std::vector<std::string> subjects;  // "" stands for an item that is nothing
    const char* firstNumber;            // numbered pages from this number; none: by subject
    std::vector<std::pair<std::string, std::string>> index;
  } cases[] = {
      {"subjects in letter-case-blind order",
       {"Zebra crossing", "apple pie", "Mango"},
       nullptr,
       {{"apple%20pie.htm", "apple pie"},
        {"Mango.htm", "Mango"},
        {"Zebra%20crossing.htm", "Zebra crossing"}}},
      {"numbered in folder order; an item that is nothing uses no number",
       {"Charlie", "", "Alpha", "Bravo"},
       "1000",
       {{"1002.htm", "Alpha"}, {"1003.htm", "Bravo"}, {"1001.htm", "Charlie"}}},
      {"the counter goes on past the first number's range",
       {"One", "Two", "Three"},
       "32766",
       {{"32767.htm", "One"}, {"32769.htm", "Three"}, {"32768.htm", "Two"}}},
      {"a duplicate subject: one page, for the first",
       {" Printer jams ", "printer JAMS"},
       nullptr,
       {{"Printer%20jams.htm", "Printer jams"}}},
      {"texts escaped, link targets encoded, what the naming leaves",
       {"Tom's <b> & #1 100%"},
       nullptr,
       {{"Tom%27s%20b%20%26%20%231%20100%25.htm", "Tom&#39;s &lt;b&gt; &amp; #1 100%"}}},
      {"text beyond ASCII as numeric references",
       {"Caf\xC3\xA9 cr\xC3\xA8me", "\xE6\x97\xA5\xE6\x9C\xAC"},
       nullptr,
       {{"Caf%C3%A9%20cr%C3%A8me.htm", "Caf&#233; cr&#232;me"},
        {"%E6%97%A5%E6%9C%AC.htm", "&#26085;&#26412;"}}},
  };
  Add(FakeItem::Post("x", "", ""));
  LoadFlat();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    kb->items.clear();
    for (const std::string& subject : c.subjects) {
      if (subject.empty()) {
        Add(nullptr);
      } else {
        Add(FakeItem::Post(subject, "", "", "<html><body>" + subject + "</body></html>"));
      }
    }
    form->optNaming.Select(c.firstNumber ? 1 : 0);
    if (c.firstNumber) form->txtNumbering.SetText(c.firstNumber);
    Generate();
    EXPECT_EQ(Read("index.htm"), Index(c.index));
    for (const auto& [href, text] : c.index) {
      std::string file;  // the link target decoded
      for (std::size_t at = 0; at < href.size(); ++at) {
        file += href[at] != '%' ? href[at]
                                : static_cast<char>(std::stoi(href.substr(at + 1, 2), nullptr, 16));
        if (href[at] == '%') at += 2;
      }
      EXPECT_NE(Read(file).find("<h1>" + text + "</h1>"), std::string::npos) << file;
    }
    for (unsigned char ch : Read("index.htm")) ASSERT_LT(ch, 0x80) << "ASCII bytes only";
    EXPECT_TRUE(dialogs.Messages().empty());
  }
  EXPECT_TRUE(Exists("style.css") && Exists("Images/bulletredsmall.gif") && !Exists("outline.js"));
  EXPECT_EQ(form->LastRun().outcome, RunSummary::Outcome::kCompleted);
  EXPECT_NE(Read("Printer jams.htm").find(" Printer jams </body>"), std::string::npos)
      << "the first of the duplicates";
}

// The window is idle again; pages link back and index.htm is opened only with the table of
// contents ticked (and, for opening, "Run index.htm when done").
TEST_F(FlatRunTest, BackLinkAndOpeningFollowTheBoxes) {
  Add(FakeItem::Post("One", "", ""));
  LoadFlat();
  Generate();
  EXPECT_NE(Read("One.htm").find("<a href='index.htm'><b>Table of Contents (index)</b></a>"),
            std::string::npos);
  EXPECT_EQ(shell.opened, std::vector<std::string>{Dest() + "/index.htm"});
  EXPECT_EQ(form->cmdGenerate.Caption(), "Generate");

  form->chkExtractIndexPage.SetValue(0);
  shell.opened.clear();
  Generate();
  EXPECT_EQ(Read("One.htm").find("Table of Contents (index)"), std::string::npos);
  EXPECT_TRUE(shell.opened.empty());
}

// Without overwriting, an existing page is left alone and the index lists only the new pages;
// a numbered page kept so is not lost to the rich-text conversion's page of its name.
TEST_F(FlatRunTest, ExistingPagesAreKeptWithoutOverwrite) {
  Add(FakeItem::Post("First", "", ""));
  LoadFlat();
  form->chkOverwrite.SetValue(0);
  Generate();
  const std::string firstPage = Read("First.htm");
  Add(FakeItem::Post("Second", "", ""));
  kb->items[0] = FakeItem::Post("First", "", "", "<html><body>changed</body></html>");
  Generate();
  EXPECT_EQ(Read("index.htm"), Index({{"Second.htm", "Second"}}));
  EXPECT_EQ(Read("First.htm"), firstPage);
  EXPECT_EQ(form->LastRun().skipped, 1);

  form->optNaming.Select(1);
  form->chkOverwrite.SetValue(1);
  Generate();
  const std::string page = Read("1001.htm");
  form->chkAttachments.SetValue(1);
  form->chkOverwrite.SetValue(0);
  Generate();
  EXPECT_EQ(Read("1001.htm"), page);
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
  EXPECT_EQ(Read("index.htm"), Index({{"1002.htm", "Four"}, {"1001.htm", "One"}}));
  EXPECT_FALSE(Exists("1003.htm"));
  EXPECT_EQ(form->LastRun().unreadable,
            (std::vector<std::string>{"The item cannot be read",
                                      "The HTML body of Damaged body is damaged"}));
  ASSERT_EQ(dialogs.shown().size(), 1u);
  EXPECT_EQ(dialogs.shown()[0].text,
            "2 items could not be read and were not archived:\r\n\r\nThe item cannot be "
            "read\r\nThe HTML body of Damaged body is damaged");
  EXPECT_EQ(dialogs.shown()[0].title, "LorvaArchive");

  RunSummary run;
  std::string listed;
  for (int i = 1; i <= 12; ++i) {
    const std::string number = std::to_string(i);
    run.unreadable.push_back("r" + number);
    if (i <= 10) listed += "\r\nr" + number;
  }
  EXPECT_EQ(UnreadableItemsMessage(run), "12 items could not be read and were not archived:\r\n" +
                                             listed + "\r\n... and 2 more.");
  run.unreadableParts = {"p1"};
  EXPECT_EQ(UnreadableItemsMessage(run),
            "12 items could not be read and were not archived:\r\n" + listed +
                "\r\n... and 2 more.\r\n\r\n1 attachment could not be read; its article was "
                "archived without it:\r\n\r\np1");
  run.unreadable.clear();
  run.unreadableParts.push_back("p2");
  EXPECT_EQ(UnreadableItemsMessage(run),
            "2 attachments could not be read; their articles were archived without them:\r\n"
            "\r\np1\r\np2");
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
      {"", "1000", badFolder},
      {Dest() + "/missing", "1000", badFolder},
      {Dest(), "abc", FirstNumberMessage("abc")},
      {Dest(), "40000", FirstNumberMessage("40000")},
  };
  form->optNaming.Select(1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.destination + " " + c.firstNumber);
    dialogs.Clear();
    form->txtDestination.SetText(c.destination);
    form->txtNumbering.SetText(c.firstNumber);
    Generate();
    EXPECT_EQ(dialogs.Messages(), std::vector<std::string>{c.message});
    EXPECT_EQ(dialogs.shown()[0].title, "LorvaArchive");
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
  EXPECT_EQ(dialogs.shown()[0].style, platform::msgbox::kOkOnly);
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
  EXPECT_NE(dialogs.Messages()[0].find("This error has occured: :\r\nWriting file to " + Dest() +
                                       "/index.htm\r\n"),
            std::string::npos)
      << dialogs.Messages()[0];
  EXPECT_NE(dialogs.Messages()[0].find("Disk full\r\n#61\r\n"), std::string::npos);
}

TEST_F(FlatRunTest, RichTextCopyIsSavedAndRemovedWhenAttachmentsAreIncluded) {
  auto item = FakeItem::Post("One", "", "");
  Add(item);
  LoadFlat();
  form->chkAttachments.SetValue(1);
  form->optNaming.Select(1);
  Generate();
  EXPECT_EQ(item->saveAsCalls, 1);
  EXPECT_TRUE(std::filesystem::is_directory(folder / "Images"));
  EXPECT_FALSE(Exists("Images/1001.rtf")) << "the unavailable route deletes the rich-text copy";
  EXPECT_TRUE(Exists("1001.htm"));
}

// The runs keep only subject and file name of each page for index.htm; its entries must still
// come in the order, and with the duplicates, of the sorted article dictionary.
class IndexOrderTest : public ProgramFixture {
 protected:
  struct Article {
    const char* subject;
    const char* type;  // of category "C"
  };

  // The subjects listed, in the order of the index; each as index.htm writes it.
  static std::vector<std::string> Listed(const std::string& index) {
    std::vector<std::string> subjects;
    for (std::size_t at = index.find("'>"); at != std::string::npos;
         at = index.find("'>", at + 2)) {
      subjects.push_back(index.substr(at + 2, index.find("</a>", at) - at - 2));
    }
    return subjects;
  }

  // What a dictionary filled with `subjects` in turn (a subject already present is not added)
  // and then sorted gives, each as index.htm writes it.
  std::vector<std::string> DictionaryOrder(const std::vector<std::string>& subjects) {
    auto dictionary = fncCreateDic(services);
    for (const std::string& subject : subjects) {
      if (!dictionary->Exists(subject)) dictionary->Add(subject, std::make_shared<cArticle>());
    }
    dictionary = fncSortDictionary(services, *dictionary, 1, false);
    std::vector<std::string> order;
    for (const std::string& key : dictionary->Keys()) {
      order.push_back(ToAsciiWithReferences(HtmlEscape(key)));
    }
    return order;
  }
};

TEST_F(IndexOrderTest, EntriesComeInTheSortedDictionarysOrder) {
  // Letter case, accents, digits, punctuation, folded forms ("ß" and "ss" match as keys), and
  // duplicates within one type and across the two types.
  const Article articles[] = {
      {"apple", "T1"},  {"Zebra", "T2"}, {"Äpfel", "T1"}, {"APPLE", "T1"},  {"éclair", "T2"},
      {"Eclair", "T2"}, {"apple", "T2"}, {"ß", "T1"},     {"ss", "T1"},     {"10 tips", "T2"},
      {"9 tips", "T2"}, {"a-b", "T1"},   {"ab", "T1"},    {"_under", "T2"}, {"zèbre", "T1"},
      {"Zebra", "T1"},  {"ÄPFEL", "T1"}, {"Œuvre", "T2"}, {"oeuvre", "T2"}, {"b", "T1"},
  };
  std::map<std::string, std::vector<std::string>> byType;
  std::vector<std::string> all;
  for (const Article& a : articles) {
    Add(FakeItem::Post(a.subject, "C", a.type));
    byType[a.type].push_back(a.subject);
    all.push_back(a.subject);
  }
  Load();
  form->chkAttachments.SetValue(0);
  form->chkOverwrite.SetValue(1);

  form->optGroup.Select(1);
  Generate();
  EXPECT_EQ(Listed(Read("index.htm")), DictionaryOrder(all)) << "flat run";

  form->optGroup.Select(0);
  Generate();
  std::vector<std::string> grouped = DictionaryOrder(byType["T1"]);
  for (const std::string& subject : DictionaryOrder(byType["T2"])) grouped.push_back(subject);
  EXPECT_EQ(Listed(Read("index.htm")), grouped) << "grouped run";
}

}  // namespace
}  // namespace lorva::testing
