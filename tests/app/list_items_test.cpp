#include "app/list_items.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "platform/mailstore/store.h"
#include "support_code/msg_files.h"
#include "support_code/temp_folder.h"

namespace lorva {
namespace {

using mailstore::MsgAttachment;
using mailstore::MsgContent;
using outlook::Value;

class ListItemsTest : public ::testing::Test {
 protected:
  int Run(std::vector<std::string> args) {
    out_.str("");
    err_.str("");
    return ListItemsCommand(args, out_, err_);
  }
  std::filesystem::path Kb() const { return store_.path() / "Knowledge Base"; }

  testing::TempFolder store_;
  std::ostringstream out_;
  std::ostringstream err_;
};

// One line an item: number, class, subject, category, type, attachment count and names; an
// unreadable item says so and names its file; control characters print as blanks.
TEST_F(ListItemsTest, ListsEveryItemOnOneTabSeparatedLine) {
  MsgContent article = testing::PostContent("Printer shows \"Offline\"", "Hardware", "FAQ");
  article.attachments.resize(2);
  article.attachments[0].displayName = "Guide.pdf";
  article.attachments[1].longFileName = "steps.txt";
  testing::WriteMsgFile(Kb() / "KB1.msg", article);
  MsgContent mail;
  mail.messageClass = "IPM.Note";
  mail.subject = "FW: Monitors";
  testing::WriteMsgFile(Kb() / "KB2.msg", mail);
  store_.Write("Knowledge Base/KB3.msg", "not a message");
  MsgContent odd = testing::PostContent(std::string("Tab\there nul\0bell\x07 c1\xC2\x85.", 24));
  odd.userProperties = {{"problem category", Value::Text(" line\r\nbreak ")},
                        {"Problem Type", Value::Text("")}};
  odd.attachments.resize(1);
  odd.attachments[0].displayName = "a\x01.txt";
  testing::WriteMsgFile(Kb() / "KB4.msg", odd);

  ASSERT_EQ(Run({"--list-items", "--store", store_.str(), "--folder", "Knowledge Base"}), 0)
      << err_.str();
  std::istringstream lines(out_.str());
  std::vector<std::string> all;
  for (std::string line; std::getline(lines, line);) all.push_back(line);
  ASSERT_EQ(all.size(), 4u) << out_.str();
  EXPECT_EQ(all[0],
            "1\tIPM.Post\tPrinter shows \"Offline\"\tHardware\tFAQ\t2\tGuide.pdf|steps.txt");
  EXPECT_EQ(all[1], "2\tIPM.Note\tFW: Monitors\t\t\t0\t");
  EXPECT_TRUE(all[2].starts_with("3\tunreadable\t")) << all[2];
  EXPECT_NE(all[2].find("KB3.msg"), std::string::npos) << all[2];
  EXPECT_EQ(all[3], "4\tIPM.Post\tTab here nul bell  c1 .\t line  break \t\t1\ta .txt");
}

// The store and folder come from the options, else the environment and the store's current
// folder; what cannot be found is status 66, wrong arguments 64.
TEST_F(ListItemsTest, StoreAndFolderFromTheOptionsOrElseTheEnvironmentAndTheCurrentFolder) {
  testing::WriteMsgFile(store_.path() / "Inbox/1.msg", testing::PostContent("Hello"));
  std::filesystem::create_directories(store_.path() / "Empty");
  const std::string store = "--store=" + store_.str();
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out;
  } cases[] = {
      {{store, "--folder", "Empty"}, 0, ""},
      {{store}, 66, ""},  // no current folder kept yet
      {{"--store", (store_.path() / "missing").string(), "--folder", "Inbox"}, 66, ""},
      {{store, "--folder", "Nowhere"}, 66, ""},
      {{store, "--folder", "../Inbox"}, 66, ""},
      {{store, "--bogus"}, 64, ""},
      {{"--store"}, 64, ""},
      {{"--folder=Inbox"}, 0, "1\tIPM.Post\tHello\t\t\t0\t\n"},  // $LORVA_STORE
  };
  ::setenv("LORVA_STORE", store_.str().c_str(), 1);
  for (const auto& c : cases) {
    std::string joined;
    for (const std::string& arg : c.args) joined += arg + " ";
    SCOPED_TRACE("arguments: " + joined);
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "--list-items");
    EXPECT_EQ(Run(args), c.status);
    EXPECT_EQ(out_.str(), c.out);
    EXPECT_EQ(err_.str().empty(), c.status == 0);
  }
  ::unsetenv("LORVA_STORE");
  mailstore::MailStore::Open(store_.path())->SetCurrentFolderPath("Inbox");
  EXPECT_EQ(Run({"--list-items", store}), 0);
  EXPECT_EQ(out_.str(), "1\tIPM.Post\tHello\t\t\t0\t\n");
}

}  // namespace
}  // namespace lorva
