#include "app/list_items.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/mailstore/msg_content.h"
#include "platform/mailstore/store.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;
using mailstore::MsgAttachment;
using mailstore::MsgContent;
using outlook::Value;

class ListItemsTest : public ::testing::Test {
 protected:
  ListItemsTest() {
    std::string pattern = (fs::temp_directory_path() / "lorva-list-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    root_ = pattern;
  }
  ~ListItemsTest() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  void WriteItem(const std::string& folder, const std::string& name, const MsgContent& content) {
    fs::create_directories(root_ / folder);
    const std::vector<std::uint8_t> bytes = mailstore::WriteMsg(content);
    std::ofstream(root_ / folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }

  int Run(std::vector<std::string> args) {
    out_.str("");
    err_.str("");
    return ListItemsCommand(args, out_, err_);
  }

  // The knowledge base of the listing tests: an article with two attachments, a mail item
  // without properties, an unreadable file and an article whose fields hold a tab.
  void MakeKnowledgeBase() {
    MsgContent article;
    article.messageClass = "IPM.Post";
    article.subject = "Printer shows \"Offline\"";
    article.htmlBody = "<p>Restart the spooler.</p>";
    article.userProperties = {{"Problem Type", Value::Text("Troubleshooting")},
                              {"Problem Category", Value::Text("Hardware")}};
    MsgAttachment pdf;
    pdf.displayName = "Guide.pdf";
    pdf.data = {'%', 'P', 'D', 'F'};
    MsgAttachment text;
    text.longFileName = "steps.txt";
    text.data = {'1'};
    article.attachments = {pdf, text};
    WriteItem("Knowledge Base", "KB1.msg", article);

    MsgContent mail;
    mail.messageClass = "IPM.Note";
    mail.subject = "FW: Monitors";
    mail.plainBody = "See below.";
    WriteItem("Knowledge Base", "KB2.msg", mail);

    std::ofstream(root_ / "Knowledge Base" / "KB3.msg") << "not a message";

    MsgContent odd;
    odd.messageClass = "IPM.Post";
    odd.subject = "Tab\there";
    odd.userProperties = {{"problem category", Value::Text(" Network ")},
                          {"Problem Type", Value::Text("")}};
    WriteItem("Knowledge Base", "KB4.msg", odd);
  }

  fs::path root_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(ListItemsTest, ListsEveryItemOnOneTabSeparatedLine) {
  MakeKnowledgeBase();
  ASSERT_EQ(Run({"--list-items", "--store", root_.string(), "--folder", "Knowledge Base"}), 0)
      << err_.str();
  std::istringstream lines(out_.str());
  std::string line;
  std::vector<std::string> all;
  while (std::getline(lines, line)) all.push_back(line);
  ASSERT_EQ(all.size(), 4u) << out_.str();
  EXPECT_EQ(all[0],
            "1\tIPM.Post\tPrinter shows \"Offline\"\tHardware\tTroubleshooting\t2\t"
            "Guide.pdf|steps.txt");
  EXPECT_EQ(all[1], "2\tIPM.Note\tFW: Monitors\t\t\t0\t");
  EXPECT_TRUE(all[2].starts_with("3\tunreadable\t")) << all[2];
  EXPECT_NE(all[2].find("KB3.msg"), std::string::npos) << all[2];
  EXPECT_EQ(all[3], "4\tIPM.Post\tTab here\t Network \t\t0\t");
}

TEST_F(ListItemsTest, FolderDefaultsToTheStoresCurrentFolder) {
  MakeKnowledgeBase();
  MsgContent inboxMail;
  inboxMail.messageClass = "IPM.Note";
  inboxMail.subject = "Hello";
  WriteItem("Inbox", "1.msg", inboxMail);
  mailstore::MailStore::Open(root_)->SetCurrentFolderPath("Inbox");
  ASSERT_EQ(Run({"--list-items", "--store", root_.string()}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "1\tIPM.Note\tHello\t\t\t0\t\n");
}

TEST_F(ListItemsTest, StoreComesFromTheEnvironmentWhenNotNamed) {
  MakeKnowledgeBase();
  ::setenv("LORVA_STORE", root_.c_str(), 1);
  const int status = Run({"--list-items", "--folder=Knowledge Base"});
  ::unsetenv("LORVA_STORE");
  EXPECT_EQ(status, 0) << err_.str();
  EXPECT_TRUE(out_.str().starts_with("1\tIPM.Post\tPrinter")) << out_.str();
}

TEST_F(ListItemsTest, EmptyFolderPrintsNothing) {
  fs::create_directories(root_ / "Empty");
  EXPECT_EQ(Run({"--store", root_.string(), "--folder", "Empty"}), 0);
  EXPECT_EQ(out_.str(), "");
}

TEST_F(ListItemsTest, ControlCharactersPrintAsBlanks) {
  MsgContent article;
  article.messageClass = "IPM.Post";
  article.subject = std::string(
      "nul\0bell\x07"
      "c1\xC2\x85"
      "end",
      16);
  article.userProperties = {{"Problem Category", Value::Text("line\r\nbreak")}};
  MsgAttachment file;
  file.displayName = "a\x01.txt";
  file.data = {'1'};
  article.attachments = {file};
  WriteItem("Knowledge Base", "KB1.msg", article);
  ASSERT_EQ(Run({"--store", root_.string(), "--folder", "Knowledge Base"}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "1\tIPM.Post\tnul bell c1 end\tline  break\t\t1\ta .txt\n");
}

TEST_F(ListItemsTest, MissingStoreOrFolderIsNotFoundAndWrongArgumentsAUsageError) {
  MakeKnowledgeBase();
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const Case cases[] = {
      {{"--list-items", "--store", (root_ / "missing").string(), "--folder", "Knowledge Base"}, 66},
      {{"--list-items", "--store", root_.string(), "--folder", "Nowhere"}, 66},
      {{"--list-items", "--store", root_.string(), "--folder", "../Knowledge Base"}, 66},
      {{"--list-items", "--store", root_.string()}, 66},  // no current folder kept yet
      {{"--list-items", "--store", root_.string(), "--bogus"}, 64},
      {{"--list-items", "--store"}, 64},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& arg : c.args) joined += arg + " ";
    SCOPED_TRACE("arguments: " + joined);
    EXPECT_EQ(Run(c.args), c.status);
    EXPECT_EQ(out_.str(), "");
    EXPECT_FALSE(err_.str().empty());
  }
}

}  // namespace
}  // namespace lorva
