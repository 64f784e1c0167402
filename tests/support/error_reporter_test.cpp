#include "support/error_reporter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "support_code/scripted_dialogs.h"

namespace lorva {
namespace {

using platform::msgbox::kNo;
using platform::msgbox::kYes;

struct SentMail {
  std::string to, subject, body;
  bool saved = false, displayed = false;
};

class RecordingMailItem : public outlook::MailItem {
 public:
  RecordingMailItem(SentMail& mail, bool failSave) : mail_(mail), failSave_(failSave) {}
  void SetTo(const std::string& to) override { mail_.to = to; }
  void SetSubject(const std::string& subject) override { mail_.subject = subject; }
  void SetBody(const std::string& body) override { mail_.body = body; }
  void Save() override {
    if (failSave_) throw Error(-2147467259, "The store refused the item");
    mail_.saved = true;
  }
  void Display() override { mail_.displayed = true; }

 private:
  SentMail& mail_;
  bool failSave_;
};

class FakeAssistant : public outlook::Assistant {
 public:
  void SetVisible(bool visible) override { visible_ = visible; }
  int DoAlert(const std::string& title, const std::string& text, int buttons, int icon,
              int defaultButton, int cancelBehaviour, bool systemModal) override {
    calls.push_back(title + "|" + text + "|" + std::to_string(buttons) + "|" +
                    std::to_string(icon) + "|" + std::to_string(defaultButton) + "|" +
                    std::to_string(cancelBehaviour) + "|" + (systemModal ? "1" : "0") + "|" +
                    (visible_ ? "visible" : "hidden"));
    return answer;
  }
  std::vector<std::string> calls;
  int answer = kYes;

 private:
  bool visible_ = false;
};

class FakeApplication : public outlook::Application {
 public:
  std::string Version() override {
    if (versionFails) throw Error(-2147023174, "The RPC server is unavailable.");
    return "16.0.0.17328";
  }
  std::shared_ptr<outlook::NameSpace> GetNamespace(const std::string&) override { return {}; }
  std::shared_ptr<outlook::Explorer> ActiveExplorer() override { return {}; }
  std::shared_ptr<outlook::ExplorerCollection> Explorers() override { return {}; }
  std::string ActiveWindowCaption() override { return "Inbox - Outlook"; }
  std::shared_ptr<outlook::Assistant> Assistant() override {
    if (!assistant) throw Error(438, "Object doesn't support this property or method");
    return assistant;
  }
  std::shared_ptr<outlook::MailItem> CreateItem(int kind) override {
    createdKinds.push_back(kind);
    return std::make_shared<RecordingMailItem>(mail, failSave);
  }

  SentMail mail;
  std::vector<int> createdKinds;
  std::shared_ptr<FakeAssistant> assistant;
  bool versionFails = false;
  bool failSave = false;
};

class ErrorReporterTest : public ::testing::Test {
 protected:
  ErrorReporter MakeReporter() {
    ErrorReporter::Hooks hooks;
    hooks.attachOutlook = [this] {
      ++attachCalls;
      return app;
    };
    hooks.endProgram = [this] {
      ++endCalls;
      throw ProgramEnded{1};
    };
    hooks.osName = [] { return std::string("Linux 6.1"); };
    return ErrorReporter(dialogs, hooks);
  }

  testing::ScriptedDialogs dialogs;
  std::shared_ptr<FakeApplication> app = std::make_shared<FakeApplication>();
  int attachCalls = 0;
  int endCalls = 0;
};

TEST_F(ErrorReporterTest, DialogTextIsTheFixedLayout) {
  ErrorReporter reporter = MakeReporter();
  reporter.subLogStep("Writing file to /srv/kb/style.css");
  dialogs.QueueAnswer(kNo);
  EXPECT_THROW(reporter.subErrorHandler("Permission denied", 70, 12, "subExtractFilesFromResource"),
               ProgramEnded);
  const std::string expected =
      "There has been an error in this application. Lorva for Outlook (Linux 6.1)\r\n"
      "----------------------------------------------------------------------\r\n"
      "\r\n"
      "This error has occured: :\r\n"
      "Writing file to /srv/kb/style.css\r\n"
      "\r\n"
      "The system error message was: :\r\n"
      "Permission denied\r\n"
      "#70\r\n"
      "\r\n"
      "Sub routine : subExtractFilesFromResource \r\n"
      "Error on line: 12\r\n"
      "\r\n"
      "Would you like to send an e-mail with an error report??";
  ASSERT_EQ(dialogs.shown().size(), 1u);
  EXPECT_EQ(dialogs.shown()[0].text, expected);
  EXPECT_EQ(dialogs.shown()[0].style, 4);  // Yes and No, no icon
  EXPECT_EQ(dialogs.shown()[0].title, "Lorva for Outlook");
  EXPECT_EQ(reporter.ReportText(),
            "This error has occured: :\r\nWriting file to /srv/kb/style.css\r\n\r\n"
            "The system error message was: :\r\nPermission denied\r\n#70\r\n\r\n"
            "Sub routine : subExtractFilesFromResource \r\nError on line: 12");
  EXPECT_TRUE(reporter.ReportShown());
  // Answering No ends the program without touching the mail application.
  EXPECT_EQ(attachCalls, 0);
  EXPECT_TRUE(app->createdKinds.empty());
  EXPECT_EQ(endCalls, 1);
}

TEST_F(ErrorReporterTest, EmptyDescriptionNoStepAndNegativeNumberKeepTheLayout) {
  ErrorReporter reporter = MakeReporter();
  dialogs.QueueAnswer(kNo);
  EXPECT_THROW(reporter.subErrorHandler("", -2147221005, -3, "subWriteHTML"), ProgramEnded);
  EXPECT_EQ(reporter.ReportText(),
            "This error has occured: :\r\n\r\n\r\n"
            "The system error message was: :\r\n\r\n#-2147221005\r\n\r\n"
            "Sub routine : subWriteHTML \r\nError on line: -3");
}

TEST_F(ErrorReporterTest, YesPreparesTheMailThroughTheMailApplication) {
  ErrorReporter reporter = MakeReporter();
  reporter.subLogStep("Trying to open Outlook");
  dialogs.QueueAnswer(kYes);
  EXPECT_THROW(reporter.Report(Error(53, "File not found"), "fncWriteTOC"), ProgramEnded);
  EXPECT_EQ(attachCalls, 1);
  EXPECT_EQ(app->createdKinds, std::vector<int>{0});
  EXPECT_EQ(app->mail.to, LORVA_SUPPORT_MAILBOX);
  EXPECT_EQ(app->mail.subject, "Error in Lorva for Outlook 2.1.362 (Linux 6.1)");
  EXPECT_EQ(app->mail.body,
            "This error has occured: :\r\nTrying to open Outlook\r\n\r\n"
            "The system error message was: :\r\nFile not found\r\n#53\r\n\r\n"
            "Sub routine : fncWriteTOC \r\nError on line: 0\r\n"
            "Outlook Version: 16.0.0.17328\r\n");
  EXPECT_TRUE(app->mail.saved);
  EXPECT_TRUE(app->mail.displayed);
  EXPECT_EQ(dialogs.shown().size(), 1u);
  EXPECT_EQ(endCalls, 1);
}

TEST_F(ErrorReporterTest, FailingMailIsReportedAndTheProgramStillEnds) {
  ErrorReporter reporter = MakeReporter();
  app->failSave = true;
  dialogs.QueueAnswer(kYes);
  EXPECT_THROW(reporter.subErrorHandler("x", 1, 0, "y"), ProgramEnded);
  ASSERT_EQ(dialogs.shown().size(), 2u);
  EXPECT_EQ(dialogs.shown()[1].text, "Failed to send error email using MS Outlook!");
  EXPECT_EQ(dialogs.shown()[1].style, 16);
  EXPECT_EQ(dialogs.shown()[1].title, "Lorva for Outlook");
  EXPECT_TRUE(app->mail.displayed);  // the other steps still ran
  EXPECT_EQ(endCalls, 1);
}

TEST_F(ErrorReporterTest, ReportThatCannotBeComposedReturnsToTheCaller) {
  ErrorReporter reporter = MakeReporter();
  app->versionFails = true;
  dialogs.QueueAnswer(kYes);
  EXPECT_NO_THROW(reporter.subErrorHandler("x", 1, 0, "y"));
  EXPECT_EQ(endCalls, 0);
  EXPECT_TRUE(app->createdKinds.empty());

  ErrorReporter detached = MakeReporter();
  app = nullptr;  // the mail application cannot be reached at all
  dialogs.QueueAnswer(kYes);
  EXPECT_NO_THROW(detached.subErrorHandler("x", 1, 0, "y"));
}

TEST_F(ErrorReporterTest, SecondReportEndsWithoutDialog) {
  ErrorReporter reporter = MakeReporter();
  app->versionFails = true;
  dialogs.QueueAnswer(kYes);
  reporter.subErrorHandler("first", 1, 0, "a");  // abandoned, returns
  EXPECT_THROW(reporter.subErrorHandler("second", 2, 0, "b"), ProgramEnded);
  EXPECT_EQ(dialogs.shown().size(), 1u);
  EXPECT_EQ(endCalls, 1);
}

TEST_F(ErrorReporterTest, StepsAreRecordedAsGiven) {
  ErrorReporter reporter = MakeReporter();
  EXPECT_EQ(reporter.fncGetCurrentStep(), "");
  reporter.subLogStep("Creating the folder /srv/kb/Images");
  EXPECT_EQ(reporter.fncGetCurrentStep(), "Creating the folder /srv/kb/Images");
}

TEST_F(ErrorReporterTest, MessagesUseTheAssistantWhenThereIsOne) {
  ErrorReporter reporter = MakeReporter();
  app->assistant = std::make_shared<FakeAssistant>();
  reporter.subAssistantMessage(app, "Done");
  EXPECT_EQ(app->assistant->calls,
            std::vector<std::string>{"Lorva for Outlook|Done|0|4|0|-1|0|visible"});
  EXPECT_EQ(reporter.fncGetCurrentStep(), "Creating Assistant to display message Done");
  app->assistant->answer = kNo;
  EXPECT_EQ(reporter.fncAssistantQuestion(app, "Pick another?", 4), kNo);
  EXPECT_EQ(app->assistant->calls.back(), "Lorva for Outlook|Pick another?|4|2|0|-1|0|visible");
  EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(ErrorReporterTest, MessagesFallBackToMessageBoxes) {
  ErrorReporter reporter = MakeReporter();
  reporter.subAssistantMessage(app, "No assistant here");  // Assistant() throws
  reporter.subAssistantMessage(nullptr, "No host");
  dialogs.QueueAnswer(kYes);
  EXPECT_EQ(reporter.fncAssistantQuestion(nullptr, "Continue?", 4), kYes);
  ASSERT_EQ(dialogs.shown().size(), 3u);
  EXPECT_EQ(dialogs.shown()[0].text, "No assistant here");
  EXPECT_EQ(dialogs.shown()[0].style, 64);
  EXPECT_EQ(dialogs.shown()[1].text, "No host");
  EXPECT_EQ(dialogs.shown()[2].text, "Continue?");
  EXPECT_EQ(dialogs.shown()[2].style, 4 + 32);
  for (const auto& shown : dialogs.shown()) EXPECT_EQ(shown.title, "Lorva for Outlook");
}

TEST(LinuxOsNameTest, NamesKernelAndRelease) {
  const std::string name = LinuxOsName();
  ASSERT_EQ(name.rfind("Linux ", 0), 0u) << name;
  const std::string release = name.substr(6);
  EXPECT_EQ(std::count(release.begin(), release.end(), '.'), 1) << name;
}

}  // namespace
}  // namespace lorva
