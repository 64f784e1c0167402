#include "outlook/connection.h"

#include <gtest/gtest.h>

#include "archive/run_fixture.h"
#include "base/error.h"

namespace lorva::testing {
namespace {

class ConnectionTest : public ProgramFixture {};

TEST_F(ConnectionTest, AttachesToTheRunningApplicationFirst) {
  connection->subStartOutlook(6);
  EXPECT_EQ(connection->objOutlook, app);
  EXPECT_NE(connection->objNameSpace, nullptr);
  EXPECT_EQ(launcher.attempts, std::vector<std::string>{"running:Outlook.Application"});
  EXPECT_EQ(reporter.fncGetCurrentStep(), "Attempting to start MS Outlook 2000 or later");
}

TEST_F(ConnectionTest, TriesClassThenProgramIdentifiersInOrder) {
  launcher.running.clear();
  launcher.creatable = {"Outlook.Application.10"};
  connection->subStartOutlook(6);
  EXPECT_EQ(connection->objOutlook, app);
  EXPECT_EQ(launcher.attempts,
            (std::vector<std::string>{
                "running:Outlook.Application", "create:", "create:Outlook.Application.12",
                "create:Outlook.Application.11", "create:Outlook.Application.10"}));
}

TEST_F(ConnectionTest, NoApplicationAtAllEndsTheProgramWithItsMessage) {
  launcher.running.clear();
  EXPECT_THROW(connection->subStartOutlook(6), ProgramEnded);
  EXPECT_EQ(launcher.attempts.back(), "create:Outlook.Application");
  ASSERT_EQ(dialogs.shown().size(), 1u);
  EXPECT_EQ(dialogs.shown()[0].text,
            "Please start Outlook manually before you execute this application!");
  EXPECT_EQ(dialogs.shown()[0].style, platform::msgbox::kOkOnly);
  EXPECT_EQ(dialogs.shown()[0].title, "LorvaArchive");
}

TEST_F(ConnectionTest, VersionsBefore2000EndTheProgram) {
  struct Case {
    std::string version;
    std::string lastLine;
  };
  for (const Case& c : {Case{"8.5.5104", "8"}, Case{"Beta", "0"}, Case{"", "0"}}) {
    SCOPED_TRACE("version \"" + c.version + "\"");
    dialogs.Clear();
    outlook::Connection fresh(services, launcher, dialogs);
    app->version = c.version;
    EXPECT_THROW(fresh.subStartOutlook(6), ProgramEnded);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text,
              "You need Outlook 2000 or later to run this application.\r\n" + c.lastLine);
    EXPECT_EQ(dialogs.shown()[0].style, platform::msgbox::kCritical);
    EXPECT_EQ(dialogs.shown()[0].title, "Lorva for Outlook");
  }
}

TEST_F(ConnectionTest, MajorVersionIsThePartBeforeTheFirstDot) {
  struct Case {
    std::string text;
    std::int16_t major;
    std::string cut;
  };
  for (const Case& c : {Case{"9.0.0.2711", 9, "9"}, Case{"16.0.1", 16, "16"}, Case{"12", 12, "12"},
                        Case{"x.1", 0, "x"}, Case{"99999.0", 0, "99999"}, Case{".5", 0, ""}}) {
    SCOPED_TRACE("version text \"" + c.text + "\"");
    std::string text = c.text;
    EXPECT_EQ(outlook::fncGetMajorVersion(text), c.major);
    EXPECT_EQ(text, c.cut);
  }
}

TEST_F(ConnectionTest, VersionIsReadOnceAndCached) {
  app->version = "16.0.4266";
  EXPECT_EQ(connection->fncGetOutlookVersion(), 16);
  EXPECT_EQ(connection->fncGetOutlookVersion(), 16);
  EXPECT_EQ(app->versionReads, 1);
}

TEST_F(ConnectionTest, SecondAttachChangesNothing) {
  connection->subStartOutlook(6);
  app->explorers.clear();
  app->active.reset();
  connection->subStartOutlook(6);
  EXPECT_EQ(launcher.attempts.size(), 1u);
  EXPECT_TRUE(app->explorers.empty()) << "no explorer check when already attached";
}

TEST_F(ConnectionTest, WithoutAnyWindowAnExplorerOpensOnTheInboxAndComesToTheFront) {
  app->explorers.clear();
  app->active.reset();
  connection->subStartOutlook(6);
  ASSERT_EQ(app->explorers.size(), 1u);
  EXPECT_EQ(app->explorers[0]->CurrentFolder(), inbox);
  EXPECT_EQ(app->explorers[0]->activations, 1);
}

TEST_F(ConnectionTest, WithAnExplorerInFrontNothingIsOpenedOrActivated) {
  connection->subStartOutlook(6);
  EXPECT_EQ(app->explorers.size(), 1u);
  EXPECT_EQ(app->explorers[0]->activations, 0);
}

TEST_F(ConnectionTest, NoExplorerWhileAttachedOpensTheCalendarAndSaysSoOnce) {
  connection->subStartOutlook(6);
  app->explorers.clear();
  app->active.reset();
  connection->subGetCurrentFolder(9);
  EXPECT_EQ(connection->objKBFolder, calendar);
  EXPECT_EQ(dialogs.Messages(),
            std::vector<std::string>{"Unable to connect to current Outlook folder!"});
  EXPECT_EQ(dialogs.shown()[0].style, platform::msgbox::kInformation);
  EXPECT_EQ(dialogs.shown()[0].title, "Lorva for Outlook");
}

TEST_F(ConnectionTest, HomePageTestComparesTheLastTenCharactersExactly) {
  struct Case {
    std::string url;
    bool passes;
  };
  for (const Case& c :
       {Case{"http://intranet/kb/OLorva.htm", true}, Case{"OLorva.htm", true},
        Case{"http://intranet/kb/olorva.htm", false}, Case{"http://intranet/kb/OLorva.html", false},
        Case{"", false}, Case{"Lorva.htm", false}}) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(outlook::IsKnowledgeBaseHomePage(c.url), c.passes);
  }
}

class FolderCheckTest : public ProgramFixture {
 protected:
  const std::string kQuestion =
      "Failed to get Knowledge Base Folder!\r\nWould you like to select it now?";
  void InboxInFront() {
    app->explorers.clear();
    app->OpenExplorer(inbox);
  }
};

TEST_F(FolderCheckTest, KnowledgeBaseFolderInFrontAsksNothing) {
  connection->CheckKnowledgeBaseFolder(form.get());
  EXPECT_EQ(connection->objKBFolder, kb);
  EXPECT_TRUE(dialogs.shown().empty());
  EXPECT_EQ(app->pickerShown, 0);
}

TEST_F(FolderCheckTest, YesThenAPickHoldsThePickedFolder) {
  InboxInFront();
  dialogs.QueueAnswer(platform::msgbox::kYes);
  app->picks = {kb};
  connection->CheckKnowledgeBaseFolder(form.get());
  EXPECT_EQ(connection->objKBFolder, kb);
  EXPECT_EQ(dialogs.Messages(), std::vector<std::string>{kQuestion});
  EXPECT_EQ(dialogs.shown()[0].style, platform::msgbox::kYesNo | platform::msgbox::kQuestion);
  EXPECT_EQ(dialogs.shown()[0].title, "Lorva for Outlook");
}

TEST_F(FolderCheckTest, NoEndsTheProgramWithoutAnErrorDialog) {
  InboxInFront();
  dialogs.QueueAnswer(platform::msgbox::kNo);
  EXPECT_THROW(connection->CheckKnowledgeBaseFolder(form.get()), ProgramEnded);
  EXPECT_EQ(dialogs.Messages(), std::vector<std::string>{kQuestion});
  EXPECT_FALSE(reporter.ReportShown());
  EXPECT_EQ(connection->objOutlook, nullptr) << "the connection objects are released";
}

TEST_F(FolderCheckTest, ClosedPickerOrWrongFolderIsAskedAboutAgain) {
  InboxInFront();
  for (int i = 0; i < 3; ++i) dialogs.QueueAnswer(platform::msgbox::kYes);
  app->picks = {nullptr, calendar, kb};
  connection->CheckKnowledgeBaseFolder(form.get());
  EXPECT_EQ(connection->objKBFolder, kb);
  EXPECT_EQ(dialogs.Messages(), (std::vector<std::string>{kQuestion, kQuestion, kQuestion}));
  EXPECT_EQ(app->pickerShown, 3);
}

TEST_F(FolderCheckTest, UnreadableHomePageIsAskedAbout) {
  kb->failWebViewURL = true;
  auto good = std::make_shared<FakeFolder>("Other KB", kKbHomePage);
  dialogs.QueueAnswer(platform::msgbox::kYes);
  app->picks = {good};
  connection->CheckKnowledgeBaseFolder(form.get());
  EXPECT_EQ(connection->objKBFolder, good);
}

TEST_F(FolderCheckTest, RunChecksTheFolderOnlyWhenNoneIsHeld) {
  kb->items.push_back(FakeItem::Post("One", "", ""));
  form->Form_Load();
  form->txtDestination.SetText(Dest());
  form->optGroup.Select(1);
  const std::string step = "Trying to open Outlook";
  reporter.subLogStep("before");
  form->cmdGenerate_Click();
  EXPECT_TRUE(Exists("One.htm"));
  EXPECT_NE(reporter.fncGetCurrentStep(), step);

  // Released folder: the run attaches and checks again; the picked folder serves.
  connection->objKBFolder.reset();
  InboxInFront();
  dialogs.QueueAnswer(platform::msgbox::kYes);
  app->picks = {kb};
  form->cmdGenerate_Click();
  EXPECT_EQ(connection->objKBFolder, kb);
  EXPECT_EQ(app->pickerShown, 1);
}

TEST_F(FolderCheckTest, EndOfProgramUnloadsTheWindowAndReleasesEverything) {
  form->Form_Load();
  ASSERT_EQ(connection->LoadedWindowCount(), 1u);
  EXPECT_THROW(connection->subEndProgram(), ProgramEnded);
  EXPECT_EQ(connection->LoadedWindowCount(), 0u);
  EXPECT_EQ(saves, 1) << "closing the window stores the options";
  EXPECT_EQ(services.fs, nullptr);
  EXPECT_EQ(connection->objKBFolder, nullptr);
  EXPECT_EQ(connection->objNameSpace, nullptr);
  EXPECT_EQ(connection->objOutlook, nullptr);
}

}  // namespace
}  // namespace lorva::testing
