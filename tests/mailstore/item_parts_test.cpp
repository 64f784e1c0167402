// The store's items read a .msg file part by part: opening one reads the class, subject and user
// properties, and each body or attachment is read when a member asks for it. They give what the
// whole parse (ReadMsg) gives, a file that is no message fails on opening, and a damaged body or
// attachment fails only the member that reads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/error.h"
#include "mailstore/cfb_raw.h"
#include "mailstore/corpus.h"
#include "platform/mailstore/cfb.h"
#include "platform/mailstore/compressed_rtf.h"
#include "platform/mailstore/msg_content.h"
#include "platform/mailstore/store.h"
#include "platform/outlook/object_model.h"
#include "support_code/temp_folder.h"

namespace lorva::mailstore {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using lorva::testing::TempFolder;
using outlook::OutlookItem;

Bytes Load(const fs::path& file) {
  return testing::LoadCorpusFile(file.parent_path(), file.filename().string());
}

Bytes AsBytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// What `read` gives, or the number of the error it throws: two ways of reading that agree give
// the same.
std::string Outcome(const std::function<std::string()>& read) {
  try {
    return read();
  } catch (const Error& error) {
    return "error " + std::to_string(error.number());
  }
}

// ---------------------------------------------------------------------------------------------
// The same as the whole parse, over every Outlook-written file and the sample store

std::vector<fs::path> FilesToCompare() {
  std::vector<fs::path> files;
  std::vector<fs::path> folders = {testing::kCorpusDir, testing::kRealCorpusDir};
  std::error_code code;
  const fs::path sample = LORVA_BINARY_DIR "/samples/store";
  if (fs::is_directory(sample, code)) {
    for (const auto& entry : fs::directory_iterator(sample)) {
      if (entry.is_directory()) folders.push_back(entry.path());
    }
  }
  for (const fs::path& folder : folders) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.path().extension() == ".msg") files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

class ItemAsWholeParseTest : public ::testing::TestWithParam<fs::path> {};

TEST_P(ItemAsWholeParseTest, GivesClassSubjectPropertiesBodiesAndAttachments) {
  const fs::path& file = GetParam();
  const Bytes bytes = Load(file);
  ASSERT_FALSE(bytes.empty());
  const MsgContent whole = ReadMsg(bytes);
  const std::shared_ptr<OutlookItem> item = MakeItem(bytes, file.filename().string());
  // The whole parse's content written out again and read back: what its bodies give.
  const std::shared_ptr<OutlookItem> rewritten = MakeItem(whole, "rewritten.msg");

  EXPECT_EQ(item->MessageClass(), whole.messageClass);
  EXPECT_EQ(item->Subject(), whole.subject);
  const auto properties = item->UserProperties();
  for (const MsgUserProperty& property : whole.userProperties) {
    const auto found = properties->Find(property.name);
    ASSERT_NE(found, nullptr) << property.name;
    const auto first = std::find_if(whole.userProperties.begin(), whole.userProperties.end(),
                                    [&](const auto& p) { return p.name == property.name; });
    EXPECT_EQ(found->GetValue(), first->value) << property.name;
  }

  if (whole.htmlBody) {
    EXPECT_EQ(item->HTMLBody(), *whole.htmlBody);
  }
  EXPECT_EQ(Outcome([&] { return item->HTMLBody(); }),
            Outcome([&] { return rewritten->HTMLBody(); }));
  TempFolder temp;
  if (whole.compressedRtf) {
    EXPECT_EQ(Outcome([&] {
                item->SaveAs(temp / "copy.rtf", 1);
                return TempFolder::Read(temp / "copy.rtf");
              }),
              Outcome([&] { return DecompressRtf(*whole.compressedRtf); }));
  }

  const auto attachments = item->Attachments();
  ASSERT_EQ(attachments->Count(), static_cast<int>(whole.attachments.size()));
  for (int k = 1; k <= attachments->Count(); ++k) {
    const MsgAttachment& expected = whole.attachments[static_cast<std::size_t>(k - 1)];
    SCOPED_TRACE("attachment " + std::to_string(k) + " (" + expected.ShownName() + ")");
    const auto attachment = attachments->Item(k);
    EXPECT_EQ(attachment->DisplayName(), expected.ShownName());
    EXPECT_EQ(attachment->ContentId(), expected.contentId);
    EXPECT_EQ(attachment->Hidden(), expected.hidden);
    const std::string path = temp / ("attachment" + std::to_string(k));
    attachment->SaveAsFile(path);
    EXPECT_EQ(AsBytes(TempFolder::Read(path)), expected.data);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryFile, ItemAsWholeParseTest, ::testing::ValuesIn(FilesToCompare()),
                         [](const auto& info) {
                           std::string name = info.param.parent_path().filename().string() + "_" +
                                              info.param.stem().string();
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

// ---------------------------------------------------------------------------------------------
// Damaged files in a store

// An article with every part: both user properties, the three bodies, an attachment by value
// (5000 bytes, in ordinary sectors) and an embedded message.
MsgContent Article() {
  MsgContent c;
  c.messageClass = "IPM.Post";
  c.subject = "Printer offline";
  c.htmlBody = "<p>Clear <i>Use Printer Offline</i>.</p>";
  c.plainBody = "Clear Use Printer Offline.";
  c.compressedRtf = CompressRtf("{\\rtf1\\ansi Clear {\\i Use Printer Offline}.\\par}");
  c.userProperties = {{"Problem Category", outlook::Value::Text("Printers")},
                      {"Problem Type", outlook::Value::Text("How-to")}};
  MsgAttachment steps;
  steps.displayName = "steps.txt";
  steps.data.assign(5000, 's');
  MsgContent inner;
  inner.messageClass = "IPM.Note";
  inner.subject = "Forwarded";
  MsgAttachment embedded;
  embedded.displayName = "Forwarded";
  embedded.method = 5;
  embedded.data = WriteMsg(inner);
  c.attachments = {steps, embedded};
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
      {{"__substg1.0_0037001F"}, 0, kAll, kOpen, kItem},
      {{"__substg1.0_8000001F"}, 0, kAll, kOpen, kItem},
      {{"__nameid_version1.0", "__substg1.0_00040102"}, 0, kAll, kOpen, kItem},
      {{"__nameid_version1.0", "__substg1.0_00030102"}, 12, kAll, kOpen, kItem},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.entry) + " size " + std::to_string(c.size));
    MsgContent content = Article();
    if (c.bodies != kAll) content.htmlBody.reset();
    if (c.bodies == kOnlyPlain) content.compressedRtf.reset();
    if (c.bodies == kOnlyRtf) content.plainBody.reset();
    Bytes bytes = WriteMsg(content);
    const CfbReader reader(bytes);
    std::uint32_t id = CfbReader::kRootEntry;
    for (const std::string& name : c.entry) id = reader.Find(id, name).value();
    const std::size_t at = testing::DirectoryOffsets(bytes)[id];
    testing::Set32(bytes, at + (c.size ? 0x78 : 0x74), c.size ? c.size : 0x00FFFFFF);
    TempFolder store;
    store.Write("KB/KB1.msg", std::string(bytes.begin(), bytes.end()));
    try {
      std::shared_ptr<OutlookItem> item =
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
