#include <gtest/gtest.h>

#include <filesystem>

#include "archive/run_fixture.h"

namespace lorva::testing {
namespace {

class FlatRunTest : public ProgramFixture {
 protected:
  void LoadFlat() {
    Load();
    form->optGroup.Select(1);  // "None": the flat run
    form->chkAttachments.SetValue(0);
  }
};

TEST_F(FlatRunTest, IndexIsOneLineOfHeadEntriesInSubjectOrderAndClosing) {
  Add(FakeItem::Post("Zebra crossing", "Roads", "FAQ"));
  Add(FakeItem::Post("apple pie", "Food", "How-to"));
  Add(FakeItem::Post("Mango", "", ""));  // the lists do not matter to a flat run
  LoadFlat();
  Generate();

  EXPECT_EQ(Read("index.htm"),
            kPlainHead + "<ul>" + "<li><a href='apple%20pie.htm'>apple pie</a></li>" +
                "<li><a href='Mango.htm'>Mango</a></li>" +
                "<li><a href='Zebra%20crossing.htm'>Zebra crossing</a></li>" + kIndexClosing);
  EXPECT_TRUE(Exists("apple pie.htm"));
  EXPECT_TRUE(Exists("Mango.htm"));
  EXPECT_TRUE(Exists("Zebra crossing.htm"));
  EXPECT_TRUE(Exists("style.css"));
  EXPECT_TRUE(Exists("Images/bulletredsmall.gif"));
  EXPECT_FALSE(Exists("outline.js"));
  // The window is idle again, and the index was opened (both boxes ticked by default).
  EXPECT_EQ(form->cmdGenerate.Caption(), "Generate");
  EXPECT_FALSE(form->pb.Visible());
  EXPECT_EQ(form->MousePointer, ui::MousePointer::kDefault);
  EXPECT_EQ(shell.opened, std::vector<std::string>{Dest() + "/index.htm"});
  EXPECT_TRUE(dialogs.Messages().empty());
}

TEST_F(FlatRunTest, PagesCarryTheBackLinkOnlyWithTheTableOfContentsTicked) {
  Add(FakeItem::Post("One", "", ""));
  LoadFlat();
  Generate();
  EXPECT_NE(Read("One.htm").find("<a href='index.htm'><b>Table of Contents (index)</b></a>"),
            std::string::npos);

  form->chkExtractIndexPage.SetValue(0);
  form->chkRun.SetValue(1);
  shell.opened.clear();
  Generate();
  EXPECT_EQ(Read("One.htm").find("Table of Contents (index)"), std::string::npos);
  EXPECT_TRUE(shell.opened.empty()) << "index.htm is opened only with both boxes ticked";
  EXPECT_TRUE(Exists("index.htm"));
}

TEST_F(FlatRunTest, NumberingFromTheFirstNumberNamesPagesInFolderOrder) {
  Add(FakeItem::Post("Charlie", "", ""));
  Add(nullptr);  // an item that is nothing uses no number
  Add(FakeItem::Post("Alpha", "", ""));
  Add(FakeItem::Post("Bravo", "", ""));
  LoadFlat();
  form->optNaming.Select(1);
  ASSERT_EQ(form->txtNumbering.Text(), "1000");
  Generate();

  EXPECT_EQ(Read("index.htm"), kPlainHead + "<ul>" + "<li><a href='1002.htm'>Alpha</a></li>" +
                                   "<li><a href='1003.htm'>Bravo</a></li>" +
                                   "<li><a href='1001.htm'>Charlie</a></li>" + kIndexClosing);
  EXPECT_NE(Read("1001.htm").find("Charlie"), std::string::npos);
}

TEST_F(FlatRunTest, SecondRunWithoutOverwriteListsOnlyTheNewPages) {
  Add(FakeItem::Post("First", "", ""));
  LoadFlat();
  form->chkOverwrite.SetValue(0);
  Generate();
  const std::string firstPage = Read("First.htm");

  Add(FakeItem::Post("Second", "", ""));
  kb->items[0] = FakeItem::Post("First", "", "", "<html><body>changed</body></html>");
  Generate();
  EXPECT_EQ(Read("index.htm"),
            kPlainHead + "<ul>" + "<li><a href='Second.htm'>Second</a></li>" + kIndexClosing);
  EXPECT_EQ(Read("First.htm"), firstPage) << "an existing page is left alone";
  EXPECT_EQ(form->LastRun().skipped, 1);
}

TEST_F(FlatRunTest, DuplicateSubjectsGiveOnePageForTheFirstInFolderOrder) {
  Add(FakeItem::Post(" Printer jams ", "", "", "<html><body>first body</body></html>"));
  Add(FakeItem::Post("printer JAMS", "", "", "<html><body>second body</body></html>"));
  LoadFlat();
  Generate();
  EXPECT_EQ(Read("index.htm"), kPlainHead + "<ul>" +
                                   "<li><a href='Printer%20jams.htm'>Printer jams</a></li>" +
                                   kIndexClosing);
  EXPECT_NE(Read("Printer jams.htm").find("first body"), std::string::npos);
  EXPECT_EQ(form->LastRun().duplicates, 1);
}

TEST_F(FlatRunTest, SubjectsReducingToOneNameKeepTheirOwnPagesFromRunToRun) {
  Add(FakeItem::Post("Alpha?", "", "", "<html><body>question</body></html>"));
  Add(FakeItem::Post("Alpha", "", "", "<html><body>plain</body></html>"));
  LoadFlat();
  Generate();
  EXPECT_EQ(Read("index.htm"), kPlainHead + "<ul>" +
                                   "<li><a href='Alpha%20(2).htm'>Alpha</a></li>" +
                                   "<li><a href='Alpha.htm'>Alpha?</a></li>" + kIndexClosing);
  const std::string question = Read("Alpha.htm");
  const std::string plain = Read("Alpha (2).htm");
  EXPECT_NE(question.find("question"), std::string::npos);
  EXPECT_NE(plain.find("plain"), std::string::npos);

  // The next run gives the same names: without overwriting, it finds both pages.
  form->chkOverwrite.SetValue(0);
  Generate();
  EXPECT_EQ(form->LastRun().skipped, 2);
  EXPECT_EQ(Read("Alpha.htm"), question);
  EXPECT_EQ(Read("Alpha (2).htm"), plain);
}

TEST_F(FlatRunTest, SubjectsAreEscapedAndLinkTargetsEncodedInTheIndex) {
  Add(FakeItem::Post("Tom's <b> & #1 100%", "", ""));
  LoadFlat();
  Generate();
  // The file name keeps what the naming leaves ("<" and ">" go); the link is its URL form.
  EXPECT_TRUE(Exists("Tom's b & #1 100%.htm"));
  EXPECT_EQ(Read("index.htm"), kPlainHead + "<ul>" +
                                   "<li><a href='Tom%27s%20b%20%26%20%231%20100%25.htm'>"
                                   "Tom&#39;s &lt;b&gt; &amp; #1 100%</a></li>" +
                                   kIndexClosing);
}

TEST_F(FlatRunTest, NonAsciiTextComesOutAsNumericReferences) {
  Add(FakeItem::Post("Привет", "Сеть", "FAQ", "<html><body><p>Добрый день</p></body></html>"));
  Add(FakeItem::Post("Καλημέρα", "Δίκτυο", "FAQ"));
  Add(FakeItem::Post("日本語", "設定", "FAQ"));
  Add(FakeItem::Post("Café crème", "Réseau", "FAQ"));
  LoadFlat();
  Generate();
  const std::string index = Read("index.htm");
  for (unsigned char c : index) ASSERT_LT(c, 0x80) << "index.htm holds ASCII bytes only";
  EXPECT_NE(index.find("<li><a href='Caf%C3%A9%20cr%C3%A8me.htm'>Caf&#233; cr&#232;me</a></li>"),
            std::string::npos);
  EXPECT_NE(
      index.find("<li><a href='%E6%97%A5%E6%9C%AC%E8%AA%9E.htm'>&#26085;&#26412;&#35486;</a>"),
      std::string::npos);
  EXPECT_NE(index.find(">&#1055;&#1088;&#1080;&#1074;&#1077;&#1090;</a>"), std::string::npos);
  EXPECT_NE(index.find(">&#922;&#945;&#955;&#951;&#956;&#941;&#961;&#945;</a>"), std::string::npos);

  ASSERT_TRUE(Exists("Привет.htm"));
  const std::string page = Read("Привет.htm");
  for (unsigned char c : page) ASSERT_LT(c, 0x80) << "pages hold ASCII bytes only";
  EXPECT_NE(page.find("&#1044;&#1086;&#1073;&#1088;&#1099;&#1081;"), std::string::npos)
      << "the body";
  EXPECT_NE(page.find("&#1057;&#1077;&#1090;&#1100;"), std::string::npos) << "the category";
}

TEST_F(FlatRunTest, MailItemsAreExportedLikePostItems) {
  auto mail = FakeItem::Post("A mail", "", "");
  mail->itemClass = outlook::ItemClass::kMail;
  mail->messageClass = "IPM.Note";
  Add(mail);
  LoadFlat();
  Generate();
  EXPECT_TRUE(Exists("A mail.htm"));
}

TEST_F(FlatRunTest, UnreadableItemIsPassedOverWithoutANumber) {
  Add(FakeItem::Post("One", "", ""));
  Add(FakeItem::Post("Broken", "", ""));
  Add(FakeItem::Post("Damaged body", "", ""))->failBody = true;
  Add(FakeItem::Post("Four", "", ""));
  kb->unreadable = {2};
  LoadFlat();
  form->optNaming.Select(1);
  Generate();
  EXPECT_EQ(Read("index.htm"), kPlainHead + "<ul>" + "<li><a href='1002.htm'>Four</a></li>" +
                                   "<li><a href='1001.htm'>One</a></li>" + kIndexClosing);
  EXPECT_FALSE(Exists("1003.htm"));
  // They are named in the run's summary, and the window tells them once the run has ended.
  EXPECT_EQ(form->LastRun().unreadable,
            (std::vector<std::string>{"The item cannot be read",
                                      "The HTML body of Damaged body is damaged"}));
  ASSERT_EQ(dialogs.shown().size(), 1u);
  EXPECT_EQ(dialogs.shown()[0].text,
            "2 items could not be read and were not archived:\r\n\r\nThe item cannot be "
            "read\r\nThe HTML body of Damaged body is damaged");
  EXPECT_EQ(dialogs.shown()[0].title, "LorvaArchive");
}

TEST(UnreadableItemsMessageTest, NamesTheFirstTenOfItemsAndOfParts) {
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

TEST_F(FlatRunTest, TrailingSeparatorWritesIntoTheSameFolder) {
  Add(FakeItem::Post("One", "", ""));
  LoadFlat();
  form->txtDestination.SetText(Dest() + "/");
  Generate();
  EXPECT_TRUE(Exists("index.htm"));
  EXPECT_TRUE(Exists("One.htm"));
}

TEST_F(FlatRunTest, InvalidDestinationIsRefusedBeforeAnythingHappens) {
  Add(FakeItem::Post("One", "", ""));
  LoadFlat();
  for (const std::string& destination : {std::string(""), Dest() + "/missing"}) {
    SCOPED_TRACE(destination);
    dialogs.Clear();
    form->txtDestination.SetText(destination);
    Generate();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Please specify a valid folder path to place the files!");
    EXPECT_EQ(dialogs.shown()[0].style, platform::msgbox::kInformation);
    EXPECT_EQ(dialogs.shown()[0].title, "LorvaArchive");
    EXPECT_EQ(form->cmdGenerate.Caption(), "Generate");
  }
  EXPECT_FALSE(Exists("index.htm"));
}

TEST_F(FlatRunTest, EmptyFolderWritesNothingAndSaysNothing) {
  Add(FakeItem::Post("One", "", ""));
  LoadFlat();
  kb->items.clear();
  Generate();
  EXPECT_FALSE(Exists("index.htm"));
  EXPECT_TRUE(dialogs.Messages().empty());
}

TEST_F(FlatRunTest, BadFirstNumberIsRefusedBeforeAnythingIsWritten) {
  Add(FakeItem::Post("One", "", ""));
  LoadFlat();
  for (const char* number : {"abc", "", "40000", "12a"}) {
    SCOPED_TRACE(std::string("first number \"") + number + "\"");
    dialogs.Clear();
    form->txtNumbering.SetText(number);
    Generate();
    ASSERT_EQ(dialogs.Messages().size(), 1u);
    EXPECT_EQ(dialogs.Messages()[0], FirstNumberMessage(number));
    EXPECT_FALSE(Exists("index.htm"));
    EXPECT_EQ(form->cmdGenerate.Caption(), "Generate");
    EXPECT_EQ(form->LastRun().outcome, RunSummary::Outcome::kRefused);
  }
}

TEST_F(FlatRunTest, CounterGoesOnPastTheFirstNumbersRange) {
  Add(FakeItem::Post("One", "", ""));
  Add(FakeItem::Post("Two", "", ""));
  Add(FakeItem::Post("Three", "", ""));
  LoadFlat();
  form->optNaming.Select(1);
  form->txtNumbering.SetText("32766");
  Generate();
  EXPECT_EQ(Read("index.htm"), kPlainHead + "<ul>" + "<li><a href='32767.htm'>One</a></li>" +
                                   "<li><a href='32769.htm'>Three</a></li>" +
                                   "<li><a href='32768.htm'>Two</a></li>" + kIndexClosing);
  EXPECT_TRUE(dialogs.Messages().empty());
  EXPECT_EQ(form->LastRun().outcome, RunSummary::Outcome::kCompleted);
}

TEST_F(FlatRunTest, CancelOnTheSecondYieldKeepsWhatWasTakenUp) {
  Add(FakeItem::Post("One", "", ""));
  Add(FakeItem::Post("Two", "", ""));
  Add(FakeItem::Post("Three", "", ""));
  LoadFlat();
  int runsStarted = 0;
  pump.actions[1] = [&] { ++runsStarted; };
  pump.actions[2] = [&] {
    ASSERT_EQ(form->cmdGenerate.Caption(), "Cancel..");
    form->cmdGenerate_Click();  // "Cancel.."
    EXPECT_EQ(form->cmdGenerate.Caption(), "Generate");
    form->cmdGenerate_Click();  // "Generate" again while the run still finishes: refused
  };
  Generate();
  EXPECT_EQ(runsStarted, 1);
  EXPECT_EQ(pump.yields, 2);
  EXPECT_EQ(Read("index.htm"),
            kPlainHead + "<ul>" + "<li><a href='One.htm'>One</a></li>" + kIndexClosing);
  EXPECT_FALSE(Exists("Two.htm"));
  EXPECT_TRUE(Exists("style.css"));
  EXPECT_EQ(form->LastRun().outcome, RunSummary::Outcome::kCancelled);
  EXPECT_FALSE(form->runner().Running());
}

TEST_F(FlatRunTest, RefusedItemAccessShowsItsMessageAndRestoresTheWindow) {
  Add(FakeItem::Post("One", "", ""));
  LoadFlat();
  kb->failItemsWith = errnum::kItemAccessRefused;
  Generate();
  EXPECT_EQ(dialogs.Messages(),
            std::vector<std::string>{"You need to enable the application to access the KB item "
                                     "to continue.\r\nPlease try again!"});
  EXPECT_EQ(dialogs.shown()[0].style, platform::msgbox::kOkOnly);
  EXPECT_EQ(dialogs.shown()[0].title, "LorvaArchive");
  EXPECT_EQ(form->cmdGenerate.Caption(), "Generate");
  EXPECT_EQ(form->MousePointer, ui::MousePointer::kDefault);
  EXPECT_FALSE(form->pb.Visible());
}

TEST_F(FlatRunTest, OtherTrappedErrorsGoToTheReporterWhichEndsTheProgram) {
  Add(FakeItem::Post("One", "", ""));
  LoadFlat();
  kb->failItemsWith = errnum::kPermissionDenied;
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
  std::ofstream(dir / "index.htm") << "the earlier index";
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
  EXPECT_NE(dialogs.Messages()[0].find("Sub routine : subGenerateArticlesNormal \r\n"),
            std::string::npos);
}

TEST_F(FlatRunTest, RichTextCopyIsSavedAndRemovedWhenAttachmentsAreIncluded) {
  auto item = FakeItem::Post("One", "", "");
  Add(item);
  LoadFlat();
  form->chkAttachments.SetValue(1);
  form->optNaming.Select(1);
  Generate();
  EXPECT_EQ(item->saveAsCalls, 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "Images"));
  EXPECT_FALSE(Exists("Images/1001.rtf")) << "the unavailable route deletes the rich-text copy";
  EXPECT_TRUE(Exists("1001.htm"));
}

TEST_F(FlatRunTest, SkippedNumberedPageIsNotLostToTheConversionTarget) {
  Add(FakeItem::Post("One", "", ""));
  LoadFlat();
  form->optNaming.Select(1);
  Generate();
  const std::string page = Read("1001.htm");
  form->chkAttachments.SetValue(1);
  form->chkOverwrite.SetValue(0);
  Generate();
  EXPECT_EQ(Read("1001.htm"), page);
}

}  // namespace
}  // namespace lorva::testing
