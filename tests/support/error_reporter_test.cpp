#include "support/error_reporter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "support_code/fake_outlook.h"
#include "support_code/test_services.h"

namespace lorva {
namespace {

using platform::msgbox::kNo;
using platform::msgbox::kYes;

class ErrorReporterTest : public ::testing::Test {
 protected:
  ErrorReporterTest() {
    app->version = "16.0.0.17328";
    test.outlook = app;
  }
  testing::TestServices test;
  testing::ScriptedDialogs& dialogs = test.dialogs;
  ErrorReporter& reporter = test.reporter;
  std::shared_ptr<testing::FakeApplication> app = std::make_shared<testing::FakeApplication>();
};

TEST_F(ErrorReporterTest, DialogTextIsTheFixedLayout) {
  const struct {
    std::string step, description;
    std::int32_t number;
    std::int16_t line;
    std::string routine, report;
  } cases[] = {
      {"Writing file to /srv/kb/style.css", "Permission denied", 70, 12,
       "subExtractFilesFromResource",
       "This error has occured: :\r\nWriting file to /srv/kb/style.css\r\n\r\n"
       "The system error message was: :\r\nPermission denied\r\n#70\r\n\r\n"
       "Sub routine : subExtractFilesFromResource \r\nError on line: 12"},
      {"", "", -2147221005, -3, "subWriteHTML",
       "This error has occured: :\r\n\r\n\r\n"
       "The system error message was: :\r\n\r\n#-2147221005\r\n\r\n"
       "Sub routine : subWriteHTML \r\nError on line: -3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.routine);
    testing::TestServices fresh;
    fresh.outlook = app;
    if (!c.step.empty()) fresh.reporter.subLogStep(c.step);
    fresh.dialogs.QueueAnswer(kNo);
    EXPECT_THROW(fresh.reporter.subErrorHandler(c.description, c.number, c.line, c.routine),
                 ProgramEnded);
    EXPECT_EQ(fresh.endCalls, 1);
    ASSERT_EQ(fresh.dialogs.shown().size(), 1u);
    EXPECT_EQ(fresh.dialogs.shown()[0].text,
              "There has been an error in this application. Lorva for Outlook (Linux 6.1)\r\n"
              "----------------------------------------------------------------------\r\n"
              "\r\n" +
                  c.report + "\r\n\r\nWould you like to send an e-mail with an error report??");
    EXPECT_EQ(fresh.dialogs.shown()[0].style, 4);  // Yes and No, no icon
    EXPECT_EQ(fresh.dialogs.shown()[0].title, "Lorva for Outlook");
  }
  EXPECT_TRUE(app->createdKinds.empty()) << "No ends the program without a mail";
}

TEST_F(ErrorReporterTest, YesPreparesTheMailThroughTheMailApplication) {
  reporter.subLogStep("Trying to open Outlook");
  dialogs.QueueAnswer(kYes);
  EXPECT_THROW(reporter.Report(Error(53, "File not found"), "fncWriteTOC"), ProgramEnded);
  EXPECT_EQ(app->createdKinds, std::vector<int>{0});
  EXPECT_EQ(app->mail.to, LORVA_SUPPORT_MAILBOX);
  EXPECT_EQ(app->mail.subject, "Error in Lorva for Outlook 2.1.362 (Linux 6.1)");
  EXPECT_EQ(app->mail.body,
            "This error has occured: :\r\nTrying to open Outlook\r\n\r\n"
            "The system error message was: :\r\nFile not found\r\n#53\r\n\r\n"
            "Sub routine : fncWriteTOC \r\nError on line: 0\r\n"
            "Outlook Version: 16.0.0.17328\r\n");
  EXPECT_TRUE(app->mail.saved && app->mail.displayed);
  EXPECT_EQ(test.endCalls, 1);

  // A mail that cannot be saved is said, and the program still ends.
  testing::TestServices failing;
  failing.outlook = app;
  app->failMailSave = true;
  failing.dialogs.QueueAnswer(kYes);
  EXPECT_THROW(failing.reporter.subErrorHandler("x", 1, 0, "y"), ProgramEnded);
  ASSERT_EQ(failing.dialogs.shown().size(), 2u);
  EXPECT_EQ(failing.dialogs.shown()[1].text, "Failed to send error email using MS Outlook!");
  EXPECT_EQ(failing.dialogs.shown()[1].style, 16);
  EXPECT_EQ(failing.endCalls, 1);
}

// A report whose mail cannot be composed returns to its caller; the next report ends the
// program without a dialog.
TEST_F(ErrorReporterTest, ReportThatCannotBeComposedReturnsOnce) {
  app->versionFails = true;
  dialogs.QueueAnswer(kYes);
  EXPECT_NO_THROW(reporter.subErrorHandler("first", 1, 0, "a"));
  EXPECT_TRUE(app->createdKinds.empty());
  EXPECT_THROW(reporter.subErrorHandler("second", 2, 0, "b"), ProgramEnded);
  EXPECT_EQ(dialogs.shown().size(), 1u);
  EXPECT_EQ(test.endCalls, 1);
}

}  // namespace
}  // namespace lorva
