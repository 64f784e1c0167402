#include "app/batch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/mailstore/msg_content.h"
#include "support_code/fake_outlook.h"
#include "support_code/temp_folder.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  return testing::TempFolder::Read(path.string());
}

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

mailstore::MsgContent Post(const std::string& subject, const std::string& category,
                           const std::string& type) {
  mailstore::MsgContent content;
  content.messageClass = "IPM.Post";
  content.subject = subject;
  content.htmlBody = "<html><body><p>" + subject + "</p></body></html>";
  if (!category.empty()) {
    content.userProperties.push_back({"Problem Category", outlook::Value::Text(category)});
  }
  if (!type.empty()) content.userProperties.push_back({"Problem Type", outlook::Value::Text(type)});
  return content;
}

void WriteItem(const fs::path& path, const mailstore::MsgContent& content) {
  const std::vector<std::uint8_t> bytes = mailstore::WriteMsg(content);
  Write(path, std::string(bytes.begin(), bytes.end()));
}

const std::string kPlainHead =
    "<html><head><title>Table of Contents</title>"
    "<LINK REL=\"STYLESHEET\" HREF=\"style.css\" TYPE=\"text/css\" />"
    "</head><body><h1>Table of Contents</h1></p>";

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Write(store.path() / "Knowledge Base" / "folder.ini",
          "[Folder]\nWebViewURL=http://intranet/kb/OLorva.htm\n");
    WriteItem(store.path() / "Knowledge Base" / "0001.msg",
              Post("Printer jams", "Hardware", "FAQ"));
    WriteItem(store.path() / "Knowledge Base" / "0002.msg", Post("Café menu", "Kitchen", "FAQ"));
    WriteItem(store.path() / "Knowledge Base" / "0003.msg", Post("VPN setup", "Network", "How-to"));
    fs::create_directories(store.path() / "Inbox");
  }
  int Run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    args.insert(args.begin(), "--generate");
    return BatchCommand(args, out, err);
  }
  std::string StoreArg() const { return "--store=" + store.path().string(); }

  testing::TempFolder store;
  testing::TempFolder output;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(BatchTest, FlatRunOverAStoreWritesTheArchiveAndASummary) {
  const int status = Run({StoreArg(), "--folder", "Knowledge Base", "--set",
                          "DestinationFolder=" + output.path().string(), "--set", "optGroup=1",
                          "--set", "iNamingScheme=1"});
  ASSERT_EQ(status, 0) << err.str();
  EXPECT_EQ(Read(output.path() / "index.htm"),
            kPlainHead + "<ul>" + "<li><a href='1002.htm'>Caf&#233; menu</a></li>" +
                "<li><a href='1001.htm'>Printer jams</a></li>" +
                "<li><a href='1003.htm'>VPN setup</a></li>" + "</ul><br></body></html>");
  EXPECT_TRUE(fs::exists(output.path() / "1003.htm"));
  EXPECT_TRUE(fs::exists(output.path() / "style.css"));
  EXPECT_NE(out.str().find("3 articles written, 0 skipped"), std::string::npos) << out.str();
  EXPECT_EQ(out.str().find('\n'), out.str().size() - 1) << "one line";
}

TEST_F(BatchTest, UnreadableItemIsNamedOnStandardErrorAndCounted) {
  Write(store.path() / "Knowledge Base" / "0002b.msg", "not a compound file");
  const int status = Run({StoreArg(), "--folder", "Knowledge Base", "--set",
                          "DestinationFolder=" + output.path().string(), "--set", "optGroup=1"});
  EXPECT_EQ(status, 0) << "every readable item was written";
  const std::string said = err.str();
  EXPECT_NE(said.find("lorva-archive: The item \"0002b.msg\" cannot be read: "), std::string::npos)
      << said;
  EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
  EXPECT_NE(out.str().find("3 articles written, 0 skipped, 0 duplicates, 1 unreadable, "),
            std::string::npos)
      << out.str();
}

TEST_F(BatchTest, GroupedRunWithoutTheCollapsibleOutline) {
  const int status =
      Run({StoreArg(), "--folder=Knowledge Base",
           "--set=DestinationFolder=" + output.path().string(), "--set", "chkCollapse=0"});
  ASSERT_EQ(status, 0) << err.str();
  const std::string index = Read(output.path() / "index.htm");
  EXPECT_EQ(index.substr(0, kPlainHead.size() + 4), kPlainHead + "<ul>");
  EXPECT_NE(index.find("<li><p class=\"LiStyle\"><b>Network</b></p><ul>"
                       "<li><p class=\"LiStyle\"><b>How-to</b></p><ul>"
                       "<li><p class=\"LiStyle\"><a href='VPN%20setup.htm'>VPN setup</a></p></li>"
                       "</ul></li></ul></li><br>"),
            std::string::npos)
      << index;
}

TEST_F(BatchTest, FolderThatIsNotAKnowledgeBaseEndsWithStatusTwo) {
  const int status = Run(
      {StoreArg(), "--folder", "Inbox", "--set", "DestinationFolder=" + output.path().string()});
  EXPECT_EQ(status, 2);
  EXPECT_NE(
      err.str().find("Failed to get Knowledge Base Folder!\nWould you like to select it now?"),
      std::string::npos)
      << err.str();
  EXPECT_FALSE(fs::exists(output.path() / "index.htm"));
}

TEST_F(BatchTest, MissingDestinationIsAFailureWithItsMessage) {
  EXPECT_EQ(Run({StoreArg(), "--folder", "Knowledge Base"}), 1);
  EXPECT_NE(err.str().find("Please specify a valid folder path to place the files!"),
            std::string::npos);
}

TEST_F(BatchTest, UsageErrorsExitWith64AndSayWhatIsWrong) {
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{"--frobnicate"}, "unknown argument \"--frobnicate\""},
      {{"--set", "Colour=red"}, "unknown option name \"Colour\""},
      {{"--set", "optGroup=2"}, "optGroup must be 0 or 1, not \"2\""},
      {{"--set", "chkRun=yes"}, "unknown option name \"chkRun\""},
      {{"--set", "RunTOC=yes"}, "RunTOC must be 0, 1 or 2, not \"yes\""},
      {{"--set", "iNumbering=99999"}, "iNumbering must be a whole number"},
      {{"--set", "GenerateTOC"}, "--set needs NAME=VALUE"},
      {{"--store"}, "--store needs a value"},
      {{"--store", "/nonexistent/store"}, "cannot open the mail store"},
      {{"--folder", "Nowhere"}, "no folder \"Nowhere\""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    if (args[0] != "--store") args.insert(args.begin(), StoreArg());
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    SCOPED_TRACE(shown);
    EXPECT_EQ(Run(args), kBatchUsageError);
    EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
  }
}

TEST(BatchFakeTest, EmptyKnowledgeBaseHasNothingToArchive) {
  auto app = std::make_shared<testing::FakeApplication>();
  auto kb = std::make_shared<testing::FakeFolder>("KB", testing::kKbHomePage);
  app->OpenExplorer(kb);
  testing::FakeLauncher launcher;
  launcher.app = app;
  std::ostringstream out, err;
  EXPECT_EQ(RunBatch(BatchOptions{}, launcher, out, err, false), 1);
  EXPECT_NE(err.str().find("You don't have any KB articles to convert into webpages!"),
            std::string::npos);
}

TEST(BatchFakeTest, ErrorReportPrintsTheDialogTextAndExitsWithOne) {
  auto app = std::make_shared<testing::FakeApplication>();
  auto kb = std::make_shared<testing::FakeFolder>("KB", testing::kKbHomePage);
  kb->items.push_back(testing::FakeItem::Post("One", "", ""));
  app->OpenExplorer(kb);
  testing::FakeLauncher launcher;
  launcher.app = app;
  testing::TempFolder output;
  kb->failItemsWith = 0;
  BatchOptions options;
  options.settings = {{"DestinationFolder", output.path().string()}, {"optGroup", "1"}};
  // The index cannot be written: a folder stands where index.htm goes.
  fs::create_directories(output.path() / "index.htm");
  std::ostringstream out, err;
  EXPECT_EQ(RunBatch(options, launcher, out, err, false), 1);
  EXPECT_NE(err.str().find("There has been an error in this application."), std::string::npos)
      << err.str();
  EXPECT_NE(err.str().find("Sub routine : fncWriteTOC"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace lorva
