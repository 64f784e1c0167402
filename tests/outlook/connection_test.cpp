#include "outlook/connection.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "support_code/program_fixture.h"

namespace lorva::testing {
namespace {

class ConnectionTest : public ProgramFixture {};

// The running application first, then the class identifier and the versioned program
// identifiers newest first; none at all ends the program with its message.
TEST_F(ConnectionTest, AttachesToTheFirstApplicationFound) {
  const struct {
    std::vector<std::string> running, creatable, attempts;
  } cases[] = {
      {{"Outlook.Application"}, {}, {"running:Outlook.Application"}},
      {{},
       {"Outlook.Application.10"},
       {"running:Outlook.Application", "create:", "create:Outlook.Application.12",
        "create:Outlook.Application.11", "create:Outlook.Application.10"}},
  };
  for (const auto& c : cases) {
    outlook::Connection fresh(services, launcher, dialogs);
    launcher.running = c.running;
    launcher.creatable = c.creatable;
    launcher.attempts.clear();
    fresh.subStartOutlook(6);
    EXPECT_EQ(fresh.objOutlook, app);
    EXPECT_NE(fresh.objNameSpace, nullptr);
    EXPECT_EQ(launcher.attempts, c.attempts);
  }
  EXPECT_EQ(reporter.fncGetCurrentStep(), "Attempting to start MS Outlook 2000 or later");

  launcher.running.clear();
  launcher.creatable.clear();
  EXPECT_THROW(connection->subStartOutlook(6), ProgramEnded);
  EXPECT_EQ(launcher.attempts.back(), "create:Outlook.Application");
  ASSERT_EQ(dialogs.shown().size(), 1u);
  EXPECT_EQ(dialogs.shown()[0].text,
            "Please start Outlook manually before you execute this application!");
  EXPECT_EQ(dialogs.shown()[0].style, platform::msgbox::kOkOnly);
  EXPECT_EQ(dialogs.shown()[0].title, "LorvaArchive");
}

TEST_F(ConnectionTest, VersionsBefore2000EndTheProgram) {
  for (const auto& [version, shown] :
       {std::pair<std::string, std::string>{"8.5.5104", "8"}, {"Beta", "0"}}) {
    SCOPED_TRACE("version \"" + version + "\"");
    dialogs.Clear();
    outlook::Connection fresh(services, launcher, dialogs);
    app->version = version;
    EXPECT_THROW(fresh.subStartOutlook(6), ProgramEnded);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text,
              "You need Outlook 2000 or later to run this application.\r\n" + shown);
    EXPECT_EQ(dialogs.shown()[0].style, platform::msgbox::kCritical);
    EXPECT_EQ(dialogs.shown()[0].title, "Lorva for Outlook");
  }
}

// (A full address ending so is the knowledge base of the folder check below.)
TEST(KnowledgeBaseHomePageTest, ComparesTheLastTenCharactersExactly) {
  EXPECT_TRUE(outlook::IsKnowledgeBaseHomePage("OLorva.htm"));
  EXPECT_FALSE(outlook::IsKnowledgeBaseHomePage("http://intranet/kb/olorva.htm"));
  EXPECT_FALSE(outlook::IsKnowledgeBaseHomePage("Lorva.htm"));
}

// The folder in front is checked; a folder that is not a knowledge base (or whose home page
// cannot be read) is asked about until the user picks one, or says No, which ends the program.
TEST_F(ConnectionTest, FolderCheckAsksUntilAKnowledgeBaseIsPicked) {
  constexpr int kYes = platform::msgbox::kYes;
  const std::string question =
      "Failed to get Knowledge Base Folder!\r\nWould you like to select it now?";
  auto other = std::make_shared<FakeFolder>("Other KB", kKbHomePage);
  const struct {
    const char* what;
    std::shared_ptr<FakeFolder> front;
    bool unreadableHomePage;
    std::vector<int> answers;
    std::deque<std::shared_ptr<outlook::Folder>> picks;
    std::shared_ptr<FakeFolder> held;  // nothing: the program ended
  } cases[] = {
      {"knowledge base in front", kb, false, {}, {}, kb},
      {"closed, wrong pick", inbox, false, {kYes, kYes, kYes}, {nullptr, calendar, kb}, kb},
      {"home page unreadable", kb, true, {kYes}, {other}, other},
      {"No", inbox, false, {platform::msgbox::kNo}, {}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dialogs.Clear();
    outlook::Connection fresh(services, launcher, dialogs);
    app->explorers.clear();
    app->OpenExplorer(c.front);
    kb->failWebViewURL = c.unreadableHomePage;
    for (int answer : c.answers) dialogs.QueueAnswer(answer);
    app->picks = c.picks;
    app->pickerShown = 0;
    if (c.held) {
      fresh.CheckKnowledgeBaseFolder(form.get());
    } else {
      EXPECT_THROW(fresh.CheckKnowledgeBaseFolder(form.get()), ProgramEnded);
    }
    EXPECT_EQ(fresh.objKBFolder, c.held);
    EXPECT_EQ(dialogs.Messages(), std::vector<std::string>(c.answers.size(), question));
    EXPECT_EQ(app->pickerShown, static_cast<int>(c.picks.size()));
    for (const auto& shown : dialogs.shown()) {
      EXPECT_EQ(shown.style, platform::msgbox::kYesNo | platform::msgbox::kQuestion);
      EXPECT_EQ(shown.title, "Lorva for Outlook");
    }
  }
  EXPECT_FALSE(reporter.ReportShown()) << "No ends the program without an error dialog";
}

}  // namespace
}  // namespace lorva::testing
