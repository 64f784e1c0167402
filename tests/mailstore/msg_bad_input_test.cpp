// Malformed and hostile .msg files: each must give lorva::Error (bad file format), never a
// crash, a hang or a huge allocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "base/error.h"
#include "mailstore/cfb_raw.h"
#include "platform/mailstore/cfb.h"
#include "platform/mailstore/code_page.h"
#include "platform/mailstore/msg_content.h"

namespace lorva::mailstore {
namespace {

using testing::EntryOffset;
using testing::FatEntryOffset;
using testing::Get32;
using testing::Set32;
using Bytes = std::vector<std::uint8_t>;

// A valid item: a long subject (several mini sectors), a user property and an attachment of
// `attachmentSize` bytes (a chain of ordinary sectors).
Bytes ValidItem(std::size_t attachmentSize = 5000) {
  MsgContent c;
  c.messageClass = "IPM.Post";
  c.subject = std::string(200, 's');
  c.plainBody = "Body";
  c.userProperties = {{"Problem Category", outlook::Value::Text("Printers")}};
  c.attachments.resize(1);
  c.attachments[0].displayName = "data.bin";
  c.attachments[0].data.assign(attachmentSize, 0x5A);
  return WriteMsg(c);
}

void ExpectBadFileFormat(const Bytes& bytes) {
  try {
    ADD_FAILURE() << "read without an error (subject \"" << ReadMsg(bytes).subject << "\")";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errnum::kBadFileFormat) << e.description();
    EXPECT_FALSE(e.description().empty());
  }
}

constexpr char kData[] = "__substg1.0_37010102";
constexpr char kSubject[] = "__substg1.0_0037001F";
constexpr char kRoot[] = "Root Entry";
using Edit = std::function<void(Bytes&)>;

// An edit that sets the 32-bit field at `field` of the header (`entry` null) or of the
// directory entry named `entry`.
Edit Set(const char* entry, std::size_t field, std::uint32_t value) {
  return [=](Bytes& b) { Set32(b, (entry ? EntryOffset(b, entry) : 0) + field, value); };
}

// The start sector of the stream at directory entry `name`.
std::uint32_t Start(const Bytes& b, const char* name) {
  return Get32(b, EntryOffset(b, name) + 0x74);
}

// An edit that puts an item made by hand in place: the name map's entry, string and GUID
// streams, and the property stream `props`.
Edit HandBuilt(const Bytes& entries, const Bytes& strings, const Bytes& guids = {},
               const Bytes& props = Bytes(32, 0)) {
  return [=](Bytes& b) {
    CfbWriter w;
    w.AddStream(CfbWriter::kRoot, "__properties_version1.0", props);
    Bytes cls;
    AppendUtf16Le("IPM.Post", cls);
    w.AddStream(CfbWriter::kRoot, "__substg1.0_001A001F", cls);
    const auto map = w.AddStorage(CfbWriter::kRoot, "__nameid_version1.0");
    w.AddStream(map, "__substg1.0_00020102", guids);
    w.AddStream(map, "__substg1.0_00030102", entries);
    w.AddStream(map, "__substg1.0_00040102", strings);
    b = w.Finish();
  };
}

// The name map's string stream: "Kind" after its length `length`, padded to 16 bytes.
Bytes NameStrings(std::uint8_t length = 10) {
  Bytes s{length, 0, 0, 0};
  AppendUtf16Le("Kind", s);
  s.resize(16, 0);
  return s;
}

// A malformed file: the valid item (its attachment `attachmentSize` bytes) after `edit`.
struct BadCase {
  const char* what;
  Edit edit;
  std::size_t attachmentSize = 5000;
};

const BadCase kBadCases[] = {
    {"empty input", [](Bytes& b) { b.clear(); }},
    {"truncated inside the last stream", [](Bytes& b) { b.resize(b.size() - 200); }},
    {"bad signature", [](Bytes& b) { b[0] = 0; }},
    {"version 3 with 4096-byte sectors", [](Bytes& b) { b[0x1E] = 12; }},
    {"bad mini sector shift", [](Bytes& b) { b[0x20] = 7; }},
    {"FAT sector count beyond the file", Set(nullptr, 0x2C, 0x00FFFFFF)},
    {"FAT sector number out of range", Set(nullptr, 0x4C, 0x00FFFFFF)},
    {"DIFAT chain out of range", [](Bytes& b) { Set32(b, 0x2C, 115), Set32(b, 0x44, 0x00ABCDEF); },
     70000},
    {"loop in a stream's FAT chain",
     [](Bytes& b) { Set32(b, FatEntryOffset(b, Start(b, kData) + 2), Start(b, kData)); }},
    {"loop in the directory chain",
     [](Bytes& b) { Set32(b, FatEntryOffset(b, Get32(b, 0x30)), Get32(b, 0x30)); }},
    {"loop in the directory tree", Set("__attach_version1.0_#00000000", 0x4C, 0)},
    {"directory entry number out of range", Set(kRoot, 0x4C, 0x00FFFFFF)},
    {"unknown directory entry type", [](Bytes& b) { b[EntryOffset(b, kSubject) + 0x42] = 7; }},
    {"stream sector out of range", Set(kData, 0x74, 0x00FFFFFF)},
    {"stream size larger than the file", Set(kData, 0x78, 0x7FFFFFFF)},
    {"stream size larger than its chain",
     [](Bytes& b) { Set(kData, 0x78, static_cast<std::uint32_t>(b.size() - 600))(b); }},
    {"mini stream sector out of range", Set(kSubject, 0x74, 0x00FFFFFF)},
    {"no property stream",
     [](Bytes& b) {
       CfbWriter w;
       w.AddStream(CfbWriter::kRoot, "Contents", {1, 2, 3});
       b = w.Finish();
     }},
    {"top-level property stream shorter than its header", HandBuilt({}, {}, {}, Bytes(24, 0))},
    {"name map entry points outside the string stream",
     HandBuilt({0xE8, 0x03, 0, 0, 5, 0, 0, 0}, NameStrings())},
    {"name map name runs past the string stream",
     HandBuilt({0, 0, 0, 0, 5, 0, 0, 0}, NameStrings(200))},
    {"name map entry stream of wrong length", HandBuilt({0, 0, 0, 0, 5, 0, 0}, NameStrings())},
    {"name map refers to a missing GUID",
     HandBuilt({0, 0, 0, 0, 2 * 9 + 1, 0, 0, 0}, NameStrings(), Bytes(16))},
};

TEST(MsgBadInputTest, MalformedFilesGiveBadFileFormatError) {
  for (const BadCase& c : kBadCases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = ValidItem(c.attachmentSize);
    c.edit(bytes);
    ExpectBadFileFormat(bytes);
  }
}

TEST(MsgBadInputTest, StreamsSharingSectorsCannotMultiplyMemory) {
  // 2000 attachments whose display names all point at the same 200 KB of sectors: reading
  // them all would hand out 400 MB from a file of under 2 MB.
  MsgContent c;
  c.messageClass = "IPM.Post";
  MsgAttachment small;
  small.displayName = "x";
  c.attachments.assign(2000, small);
  c.attachments[0].displayName.assign(100000, 'n');
  Bytes b = WriteMsg(c);
  const std::size_t big = EntryOffset(b, "__substg1.0_3001001F");
  ASSERT_EQ(Get32(b, big + 0x78), 200000u);
  for (std::size_t at : testing::DirectoryOffsets(b)) {
    if (std::equal(b.begin() + at, b.begin() + at + 0x42, b.begin() + big)) {
      Set32(b, at + 0x74, Get32(b, big + 0x74));
      Set32(b, at + 0x78, 200000);
    }
  }
  ASSERT_LT(b.size(), 2000000u);
  ExpectBadFileFormat(b);
}

// The valid item reads; cut anywhere, it fails with the error or reads.
TEST(MsgBadInputTest, EveryTruncationFailsCleanly) {
  const Bytes valid = ValidItem();
  EXPECT_EQ(ReadMsg(valid).attachments.at(0).data.size(), 5000u);
  for (std::size_t size = 0; size < valid.size(); size += 97) {
    SCOPED_TRACE("truncated to " + std::to_string(size) + " bytes");
    try {
      ReadMsg(Bytes(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(size)));
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), errnum::kBadFileFormat);
    }
  }
}

TEST(MsgBadInputTest, EveryFlippedByteIsHandled) {
  // Each byte of a small item in turn set to 0xFF: reading succeeds or fails with the error,
  // never anything else.
  MsgContent c;
  c.messageClass = "IPM.Post";
  c.subject = "Subject";
  c.userProperties = {{"Problem Type", outlook::Value::Integer(3)}};
  c.attachments.resize(1);
  c.attachments[0].data.assign(100, 1);
  const Bytes valid = WriteMsg(c);
  for (std::size_t i = 0; i < valid.size(); ++i) {
    Bytes b = valid;
    b[i] = 0xFF;
    try {
      ReadMsg(b);
    } catch (const Error& e) {
      ASSERT_EQ(e.number(), errnum::kBadFileFormat) << "byte " << i;
    }
  }
}

}  // namespace
}  // namespace lorva::mailstore
