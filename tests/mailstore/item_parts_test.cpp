// The store's items read a .msg file part by part: opening one reads the class, subject and user
// properties, and each body or attachment is read when a member asks for it. They give what the
// whole parse (ReadMsg) gives, a file that is no message fails on opening, and a damaged body or
// attachment fails only the member that reads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <ostream>
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

// The file offset of the directory entry at `path` (storage names, then the entry's name).
std::size_t EntryAt(const Bytes& file, std::initializer_list<std::string> path) {
  const CfbReader reader(file);
  std::uint32_t id = CfbReader::kRootEntry;
  for (const std::string& name : path) {
    const auto child = reader.Find(id, name);
    if (!child) throw Error(errnum::kFileNotFound, "no entry " + name);
    id = *child;
  }
  return testing::DirectoryOffsets(file)[id];
}

// Points the entry at `path` at a sector far beyond the file.
void SpoilStream(Bytes& file, std::initializer_list<std::string> path) {
  testing::Set32(file, EntryAt(file, path) + 0x74, 0x00FFFFFF);
}

constexpr char kAttach0[] = "__attach_version1.0_#00000000";
constexpr char kAttach1[] = "__attach_version1.0_#00000001";

struct DamagedPart {
  const char* what;
  std::function<void(MsgContent&)> adjust;  // the article, changed before it is written
  std::function<void(Bytes&)> spoil;
  // Calls the member that reads the damaged part.
  std::function<void(OutlookItem&, const std::string& folder)> read;
  const char* named;  // how the error begins
};

void PrintTo(const DamagedPart& c, std::ostream* out) {
  *out << c.what;
}

const DamagedPart kDamagedParts[] = {
    {"HTML body", nullptr, [](Bytes& b) { SpoilStream(b, {"__substg1.0_10130102"}); },
     [](OutlookItem& item, const std::string&) { item.HTMLBody(); },
     "The HTML body of the item \"KB1.msg\" cannot be read: Malformed compound file: "},
    {"plain-text body of an item with no other",
     [](MsgContent& c) {
       c.htmlBody.reset();
       c.compressedRtf.reset();
     },
     [](Bytes& b) { SpoilStream(b, {"__substg1.0_1000001F"}); },
     [](OutlookItem& item, const std::string&) { item.HTMLBody(); },
     "The plain-text body of the item \"KB1.msg\" cannot be read: "},
    {"rich text saved", nullptr, [](Bytes& b) { SpoilStream(b, {"__substg1.0_10090102"}); },
     [](OutlookItem& item, const std::string& folder) { item.SaveAs(folder + "/x.rtf", 1); },
     "The rich text of the item \"KB1.msg\" cannot be read: "},
    {"rich text, the only body",
     [](MsgContent& c) {
       c.htmlBody.reset();
       c.plainBody.reset();
     },
     [](Bytes& b) { SpoilStream(b, {"__substg1.0_10090102"}); },
     [](OutlookItem& item, const std::string&) { item.HTMLBody(); },
     "The rich text of the item \"KB1.msg\" cannot be read: "},
    {"attachment's data", nullptr,
     [](Bytes& b) {
       SpoilStream(b, {kAttach0, "__substg1.0_37010102"});
     },
     [](OutlookItem& item, const std::string& folder) {
       const auto attachment = item.Attachments()->Item(1);
       EXPECT_EQ(attachment->DisplayName(), "steps.txt");
       attachment->SaveAsFile(folder + "/steps.txt");
     },
     "The attachment 1 of the item \"KB1.msg\" cannot be read: Malformed compound file: "},
    {"attachment's property stream shorter than its header", nullptr,
     [](Bytes& b) {
       testing::Set32(b, EntryAt(b, {kAttach0, "__properties_version1.0"}) + 0x78, 5);
     },
     [](OutlookItem& item, const std::string&) { item.Attachments()->Item(1); },
     "The attachment 1 of the item \"KB1.msg\" cannot be read: Malformed Outlook item: "},
    {"embedded message", nullptr,
     [](Bytes& b) {
       SpoilStream(b, {kAttach1, "__substg1.0_3701000D", "__substg1.0_0037001F"});
     },
     [](OutlookItem& item, const std::string& folder) {
       item.Attachments()->Item(2)->SaveAsFile(folder + "/forwarded.msg");
     },
     "The attachment 2 of the item \"KB1.msg\" cannot be read: "},
};

class DamagedPartTest : public ::testing::TestWithParam<DamagedPart> {};

TEST_P(DamagedPartTest, OnlyTheMemberReadingItFails) {
  const DamagedPart& c = GetParam();
  TempFolder store;
  fs::create_directories(store.path() / "KB");
  MsgContent content = Article();
  if (c.adjust) c.adjust(content);
  Bytes bytes = WriteMsg(content);
  c.spoil(bytes);
  store.Write("KB/KB1.msg", std::string(bytes.begin(), bytes.end()));

  const auto items = MailStore::Open(store.path())->GetFolder("KB")->Items();
  std::shared_ptr<OutlookItem> item;
  ASSERT_NO_THROW(item = items->Item(1));
  EXPECT_EQ(outlook::AsPostItem(item), item);
  EXPECT_EQ(item->Subject(), "Printer offline");
  EXPECT_EQ(item->UserProperties()->Find("Problem Category")->GetValue().AsText(), "Printers");
  EXPECT_EQ(item->UserProperties()->Find("Problem Type")->GetValue().AsText(), "How-to");
  EXPECT_EQ(item->Attachments()->Count(), 2);
  try {
    c.read(*item, store.str());
    ADD_FAILURE() << c.what << ": read without an error";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kBadFileFormat) << error.description();
    EXPECT_TRUE(error.description().starts_with(c.named)) << error.description();
  }
}

INSTANTIATE_TEST_SUITE_P(Spoilt, DamagedPartTest, ::testing::ValuesIn(kDamagedParts),
                         [](const auto& info) {
                           std::string name = info.param.what;
                           for (char& ch : name) {
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return name;
                         });

// What opening an item reads must be whole: a file whose class, subject, user properties or
// name-to-id map is damaged is no readable message, and Item(i) says so, naming the file.
TEST(UnreadableItemTest, FailsOnOpeningNamingTheFile) {
  struct Case {
    const char* what;
    std::function<void(Bytes&)> spoil;
  };
  const Case cases[] = {
      {"top-level property stream shorter than its header",
       [](Bytes& b) { testing::Set32(b, EntryAt(b, {"__properties_version1.0"}) + 0x78, 20); }},
      {"subject", [](Bytes& b) { SpoilStream(b, {"__substg1.0_0037001F"}); }},
      {"a user property's value", [](Bytes& b) { SpoilStream(b, {"__substg1.0_8000001F"}); }},
      {"name-to-id map's string stream",
       [](Bytes& b) {
         SpoilStream(b, {"__nameid_version1.0", "__substg1.0_00040102"});
       }},
      {"name-to-id map's entry stream of a wrong length",
       [](Bytes& b) {
         testing::Set32(b, EntryAt(b, {"__nameid_version1.0", "__substg1.0_00030102"}) + 0x78, 12);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder store;
    fs::create_directories(store.path() / "KB");
    Bytes bytes = WriteMsg(Article());
    c.spoil(bytes);
    store.Write("KB/KB1.msg", std::string(bytes.begin(), bytes.end()));
    try {
      MailStore::Open(store.path())->GetFolder("KB")->Items()->Item(1);
      ADD_FAILURE() << "opened without an error";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), errnum::kBadFileFormat) << error.description();
      EXPECT_TRUE(error.description().starts_with("The item \"KB1.msg\" cannot be read: "))
          << error.description();
    }
  }
}

}  // namespace
}  // namespace lorva::mailstore
