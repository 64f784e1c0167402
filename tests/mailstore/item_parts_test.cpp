// The store's items read a .msg file part by part: opening one reads the class, subject and user
// properties, and each body or attachment is read when a member asks for it. A file that is no
// message fails on opening, and a damaged body or attachment fails only the member that reads it.
// (That they give what the whole parse gives is checked over the real files.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error.h"
#include "mailstore/cfb_raw.h"
#include "platform/mailstore/cfb.h"
#include "platform/mailstore/compressed_rtf.h"
#include "platform/mailstore/msg_content.h"
#include "platform/mailstore/store.h"
#include "platform/outlook/object_model.h"
#include "support_code/temp_folder.h"

namespace lorva::mailstore {
namespace {

using lorva::testing::TempFolder;

// An article with every part: both user properties, the three bodies, an attachment by value
// (5000 bytes, in ordinary sectors) and an embedded message.
MsgContent Article() {
  MsgContent c, inner;
  c.messageClass = "IPM.Post";
  c.subject = "Printer offline";
  c.htmlBody = "<p>Clear <i>Use Printer Offline</i>.</p>";
  c.plainBody = "Clear Use Printer Offline.";
  c.compressedRtf = CompressRtf("{\\rtf1\\ansi Clear {\\i Use Printer Offline}.\\par}");
  c.userProperties = {{"Problem Category", outlook::Value::Text("Printers")},
                      {"Problem Type", outlook::Value::Text("How-to")}};
  c.attachments.resize(2);
  c.attachments[0].displayName = "steps.txt";
  c.attachments[0].data.assign(5000, 's');
  inner.messageClass = "IPM.Note";
  inner.subject = "Forwarded";
  c.attachments[1].displayName = "Forwarded";
  c.attachments[1].method = 5;
  c.attachments[1].data = WriteMsg(inner);
  return c;
}

constexpr char kAttach0[] = "__attach_version1.0_#00000000";
constexpr char kAttach1[] = "__attach_version1.0_#00000001";

// A part of the article damaged, and the member reading it. Only that member fails, naming the
// item and the part; a part that opening reads fails the opening.
TEST(DamagedPartTest, OnlyTheMemberReadingItFails) {
  // The member reading the part: opening the item, its HTML body, SaveAs, opening attachment 1,
  // saving attachment 1 or 2.
  enum Member { kOpen, kHtml, kSaveAs, kOpen1, kSave1, kSave2 };
  enum Bodies { kAll, kOnlyPlain, kOnlyRtf };  // the bodies the article keeps
  const std::string of = " of the item \"KB1.msg\" cannot be read: ";
  const std::string cfb = "Malformed compound file: ", mapi = "Malformed Outlook item: ";
  const std::string att2 = "The attachment 2" + of;
  const std::string kItem = "The item \"KB1.msg\" cannot be read: ";
  const struct {
    std::vector<std::string> entry;  // storage names, then the entry's name
    std::uint32_t size;              // the entry's new size; 0: its start beyond the file
    Bodies bodies;
    Member member;
    std::string named;  // how the error begins
  } cases[] = {
      {{"__substg1.0_10130102"}, 0, kAll, kHtml, "The HTML body" + of + cfb},
      {{"__substg1.0_1000001F"}, 0, kOnlyPlain, kHtml, "The plain-text body" + of},
      {{"__substg1.0_10090102"}, 0, kAll, kSaveAs, "The rich text" + of},
      {{"__substg1.0_10090102"}, 0, kOnlyRtf, kHtml, "The rich text" + of},
      {{kAttach0, "__substg1.0_37010102"}, 0, kAll, kSave1, "The attachment 1" + of + cfb},
      {{kAttach0, "__properties_version1.0"}, 5, kAll, kOpen1, "The attachment 1" + of + mapi},
      {{kAttach1, "__substg1.0_3701000D", "__substg1.0_0037001F"}, 0, kAll, kSave2, att2},
      {{"__properties_version1.0"}, 20, kAll, kOpen, kItem},
      {{"__nameid_version1.0", "__substg1.0_00030102"}, 12, kAll, kOpen, kItem},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.entry) + " size " + std::to_string(c.size));
    MsgContent content = Article();
    if (c.bodies != kAll) content.htmlBody.reset();
    if (c.bodies == kOnlyPlain) content.compressedRtf.reset();
    if (c.bodies == kOnlyRtf) content.plainBody.reset();
    std::vector<std::uint8_t> bytes = WriteMsg(content);
    const CfbReader reader(bytes);
    std::uint32_t id = CfbReader::kRootEntry;
    for (const std::string& name : c.entry) id = reader.Find(id, name).value();
    const std::size_t at = testing::DirectoryOffsets(bytes)[id];
    testing::Set32(bytes, at + (c.size ? 0x78 : 0x74), c.size ? c.size : 0x00FFFFFF);
    TempFolder store;
    store.Write("KB/KB1.msg", std::string(bytes.begin(), bytes.end()));
    try {
      std::shared_ptr<outlook::OutlookItem> item =
          MailStore::Open(store.path())->GetFolder("KB")->Items()->Item(1);
      ASSERT_NE(c.member, kOpen) << "opened without an error";
      EXPECT_EQ(item->Subject(), "Printer offline");
      EXPECT_EQ(item->UserProperties()->Find("Problem Type")->GetValue().AsText(), "How-to");
      EXPECT_EQ(item->Attachments()->Count(), 2);
      if (c.member == kHtml) item->HTMLBody();
      if (c.member == kSaveAs) item->SaveAs(store / "x.rtf", 1);
      if (c.member == kOpen1) item->Attachments()->Item(1);
      if (c.member == kSave1) item->Attachments()->Item(1)->SaveAsFile(store / "a");
      if (c.member == kSave2) item->Attachments()->Item(2)->SaveAsFile(store / "b");
      ADD_FAILURE() << "read without an error";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), errnum::kBadFileFormat) << error.description();
      EXPECT_TRUE(error.description().starts_with(c.named)) << error.description();
    }
  }
}

}  // namespace
}  // namespace lorva::mailstore
