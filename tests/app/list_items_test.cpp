#include "app/list_items.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "platform/mailstore/store.h"
#include "support_code/msg_files.h"
#include "support_code/temp_folder.h"

namespace lorva {
namespace {

using mailstore::MsgContent;
using outlook::Value;

// One line an item: number, class, subject, category, type, attachment count and names; an
// unreadable item says so and names its file; control characters print as blanks.
TEST(ListItemsTest, ListsEveryItemOnOneTabSeparatedLine) {
  testing::TempFolder store;
  const std::filesystem::path kb = store.path() / "Knowledge Base";
  MsgContent article = testing::PostContent("Printer shows \"Offline\"", "Hardware", "FAQ");
  article.attachments.resize(2);
  article.attachments[0].displayName = "Guide.pdf";
  article.attachments[1].longFileName = "steps.txt";
  testing::WriteMsgFile(kb / "KB1.msg", article);
  MsgContent mail;
  mail.messageClass = "IPM.Note";
  mail.subject = "FW: Monitors";
  testing::WriteMsgFile(kb / "KB2.msg", mail);
  store.Write("Knowledge Base/KB3.msg", "not a message");
  MsgContent odd = testing::PostContent(std::string("Tab\there nul\0bell\x07 c1\xC2\x85.", 24));
  odd.userProperties = {{"problem category", Value::Text(" line\r\nbreak ")},
                        {"Problem Type", Value::Text("")}};
  odd.attachments.resize(1);
  odd.attachments[0].displayName = "a\x01.txt";
  testing::WriteMsgFile(kb / "KB4.msg", odd);

  std::ostringstream out, err;
  ASSERT_EQ(ListItemsCommand({"--list-items", "--store", store.str(), "--folder", "Knowledge Base"},
                             out, err),
            0)
      << err.str();
  std::istringstream lines(out.str());
  std::vector<std::string> all;
  for (std::string line; std::getline(lines, line);) all.push_back(line);
  ASSERT_EQ(all.size(), 4u) << out.str();
  EXPECT_EQ(all[0],
            "1\tIPM.Post\tPrinter shows \"Offline\"\tHardware\tFAQ\t2\tGuide.pdf|steps.txt");
  EXPECT_EQ(all[1], "2\tIPM.Note\tFW: Monitors\t\t\t0\t");
  EXPECT_TRUE(all[2].starts_with("3\tunreadable\t")) << all[2];
  EXPECT_NE(all[2].find("KB3.msg"), std::string::npos) << all[2];
  EXPECT_EQ(all[3], "4\tIPM.Post\tTab here nul bell  c1 .\t line  break \t\t1\ta .txt");
}

}  // namespace
}  // namespace lorva
