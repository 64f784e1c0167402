// Malformed and hostile .msg files: each must give lorva::Error (bad file format), never a
// crash, a hang or a huge allocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <ostream>
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

// A valid item: a long subject (several mini sectors), a user property and a 5000-byte
// attachment (a chain of ordinary sectors).
Bytes ValidItem(std::size_t attachmentSize = 5000) {
  MsgContent c;
  c.messageClass = "IPM.Post";
  c.subject = std::string(200, 's');
  c.plainBody = "Body";
  c.userProperties = {{"Problem Category", outlook::Value::Text("Printers")}};
  MsgAttachment a;
  a.displayName = "data.bin";
  a.data.assign(attachmentSize, 0x5A);
  c.attachments = {a};
  return WriteMsg(c);
}

constexpr char kData[] = "__substg1.0_37010102";
constexpr char kSubject[] = "__substg1.0_0037001F";

// Builds an item by hand from streams at the top level; `entries` and `strings` form the
// name-to-id map, and `properties` is the top-level property stream.
Bytes HandBuilt(const Bytes& properties, const Bytes& entries = {}, const Bytes& strings = {},
                const Bytes& guids = {}) {
  CfbWriter w;
  w.AddStream(CfbWriter::kRoot, "__properties_version1.0", properties);
  Bytes cls;
  AppendUtf16Le("IPM.Post", cls);
  w.AddStream(CfbWriter::kRoot, "__substg1.0_001A001F", cls);
  const auto map = w.AddStorage(CfbWriter::kRoot, "__nameid_version1.0");
  w.AddStream(map, "__substg1.0_00020102", guids);
  w.AddStream(map, "__substg1.0_00030102", entries);
  w.AddStream(map, "__substg1.0_00040102", strings);
  return w.Finish();
}

Bytes NameStrings() {
  Bytes s{10, 0, 0, 0};
  AppendUtf16Le("Kind", s);
  s.resize(16, 0);
  return s;
}

// The valid item (with an attachment of `attachmentSize` bytes) after `edit`.
std::function<Bytes()> Edited(std::function<void(Bytes&)> edit, std::size_t attachmentSize = 5000) {
  return [=] {
    Bytes b = ValidItem(attachmentSize);
    edit(b);
    return b;
  };
}

struct BadCase {
  const char* what;
  std::function<Bytes()> make;
};

void PrintTo(const BadCase& c, std::ostream* out) {
  *out << c.what;
}

class MsgBadInputTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(MsgBadInputTest, GivesBadFileFormatError) {
  const BadCase& c = GetParam();
  SCOPED_TRACE(c.what);
  const Bytes bytes = c.make();
  try {
    const MsgContent content = ReadMsg(bytes);
    ADD_FAILURE() << c.what << ": read without an error (subject \"" << content.subject << "\")";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errnum::kBadFileFormat) << c.what << ": " << e.description();
    EXPECT_FALSE(e.description().empty());
    RecordProperty("description", e.description());
  }
}

const BadCase kBadCases[] = {
    {"empty input", [] { return Bytes{}; }},
    {"truncated inside the last stream", Edited([](Bytes& b) { b.resize(b.size() - 200); })},
    {"bad signature", Edited([](Bytes& b) { b[0] = 0; })},
    {"version 3 with 4096-byte sectors", Edited([](Bytes& b) { b[0x1E] = 12; })},
    {"bad mini sector shift", Edited([](Bytes& b) { b[0x20] = 7; })},
    {"FAT sector count beyond the file", Edited([](Bytes& b) { Set32(b, 0x2C, 0x00FFFFFF); })},
    {"FAT sector number out of range", Edited([](Bytes& b) { Set32(b, 0x4C, 0x00FFFFFF); })},
    {"DIFAT chain out of range", Edited(
                                     [](Bytes& b) {
                                       Set32(b, 0x2C, 115);
                                       Set32(b, 0x44, 0x00ABCDEF);
                                     },
                                     70000)},
    {"loop in a stream's FAT chain", Edited([](Bytes& b) {
       const std::uint32_t start = Get32(b, EntryOffset(b, kData) + 0x74);
       Set32(b, FatEntryOffset(b, start + 2), start);
     })},
    {"FAT chain leaving the FAT", Edited([](Bytes& b) {
       const std::uint32_t start = Get32(b, EntryOffset(b, kData) + 0x74);
       Set32(b, FatEntryOffset(b, start), 0x00FFFFF0);
     })},
    {"loop in the directory chain", Edited([](Bytes& b) {
       const std::uint32_t first = Get32(b, 0x30);
       Set32(b, FatEntryOffset(b, first), first);
     })},
    {"loop in the directory tree (storage's child is the root)",
     Edited([](Bytes& b) { Set32(b, EntryOffset(b, "__attach_version1.0_#00000000") + 0x4C, 0); })},
    {"loop in the directory tree (sibling is itself)", Edited([](Bytes& b) {
       const std::uint32_t child = Get32(b, EntryOffset(b, "Root Entry") + 0x4C);
       const std::size_t at = testing::DirectoryOffsets(b)[child];
       Set32(b, at + 0x44, child);
     })},
    {"directory entry number out of range",
     Edited([](Bytes& b) { Set32(b, EntryOffset(b, "Root Entry") + 0x4C, 0x00FFFFFF); })},
    {"unknown directory entry type",
     Edited([](Bytes& b) { b[EntryOffset(b, kSubject) + 0x42] = 7; })},
    {"stream sector out of range",
     Edited([](Bytes& b) { Set32(b, EntryOffset(b, kData) + 0x74, 0x00FFFFFF); })},
    {"stream size larger than the file",
     Edited([](Bytes& b) { Set32(b, EntryOffset(b, kData) + 0x78, 0x7FFFFFFF); })},
    {"stream size larger than its chain", Edited([](Bytes& b) {
       Set32(b, EntryOffset(b, kData) + 0x78, static_cast<std::uint32_t>(b.size() - 600));
     })},
    {"mini stream sector out of range",
     Edited([](Bytes& b) { Set32(b, EntryOffset(b, kSubject) + 0x74, 0x00FFFFFF); })},
    {"loop in a mini FAT chain", Edited([](Bytes& b) {
       const std::uint32_t start = Get32(b, EntryOffset(b, kSubject) + 0x74);
       Set32(b, (Get32(b, 0x3C) + 1) * 512 + 4 * (start + 1), start);
     })},
    {"mini stream (root data) larger than the file",
     Edited([](Bytes& b) { Set32(b, EntryOffset(b, "Root Entry") + 0x78, 0x7FFFFFC0); })},
    {"no property stream",
     [] {
       CfbWriter w;
       w.AddStream(CfbWriter::kRoot, "Contents", {1, 2, 3});
       return w.Finish();
     }},
    {"top-level property stream shorter than its header", [] { return HandBuilt(Bytes(24, 0)); }},
    {"attachment property stream shorter than its header",
     [] {
       CfbWriter w;
       w.AddStream(CfbWriter::kRoot, "__properties_version1.0", Bytes(32, 0));
       const auto a = w.AddStorage(CfbWriter::kRoot, "__attach_version1.0_#00000000");
       w.AddStream(a, "__properties_version1.0", Bytes(5, 0));
       return w.Finish();
     }},
    {"name map entry points outside the string stream",
     [] {
       return HandBuilt(Bytes(32, 0), Bytes{0xE8, 0x03, 0, 0, 5, 0, 0, 0}, NameStrings());
     }},
    {"name map name runs past the string stream",
     [] {
       Bytes strings = NameStrings();
       strings[0] = 200;
       return HandBuilt(Bytes(32, 0), Bytes{0, 0, 0, 0, 5, 0, 0, 0}, strings);
     }},
    {"name map entry stream of wrong length",
     [] {
       return HandBuilt(Bytes(32, 0), Bytes{0, 0, 0, 0, 5, 0, 0}, NameStrings());
     }},
    {"name map refers to a missing GUID",
     [] {
       return HandBuilt(Bytes(32, 0), Bytes{0, 0, 0, 0, 2 * 9 + 1, 0, 0, 0}, NameStrings(),
                        Bytes(16, 0));
     }},
};

INSTANTIATE_TEST_SUITE_P(Malformed, MsgBadInputTest, ::testing::ValuesIn(kBadCases),
                         [](const auto& info) {
                           std::string name;
                           for (const char* p = info.param.what; *p; ++p) {
                             name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           }
                           return name;
                         });

TEST(MsgBadInputTest, StreamsSharingSectorsCannotMultiplyMemory) {
  // 2000 attachments whose display names all point at the same 200 KB of sectors: reading
  // them all would hand out 400 MB from a file of under 2 MB.
  MsgContent c;
  c.messageClass = "IPM.Post";
  for (int i = 0; i < 2000; ++i) {
    MsgAttachment a;
    a.displayName = i == 0 ? std::string(100000, 'n') : "x";
    c.attachments.push_back(a);
  }
  Bytes b = WriteMsg(c);
  const std::size_t big = EntryOffset(b, "__substg1.0_3001001F");
  const std::uint32_t start = Get32(b, big + 0x74);
  const std::uint32_t size = Get32(b, big + 0x78);
  ASSERT_EQ(size, 200000u);
  for (std::size_t at : testing::DirectoryOffsets(b)) {
    if (b[at + 0x40] == b[big + 0x40] &&
        std::equal(b.begin() + at, b.begin() + at + 40, b.begin() + big)) {
      Set32(b, at + 0x74, start);
      Set32(b, at + 0x78, size);
    }
  }
  ASSERT_LT(b.size(), 2000000u);
  try {
    ReadMsg(b);
    ADD_FAILURE() << "read without an error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errnum::kBadFileFormat) << e.description();
    RecordProperty("description", e.description());
  }
}

TEST(MsgBadInputTest, TheValidItemReads) {
  const MsgContent c = ReadMsg(ValidItem());
  EXPECT_EQ(c.subject, std::string(200, 's'));
  ASSERT_EQ(c.attachments.size(), 1u);
  EXPECT_EQ(c.attachments[0].data.size(), 5000u);
}

TEST(MsgBadInputTest, EveryTruncationFailsCleanly) {
  const Bytes valid = ValidItem();
  for (std::size_t size = 0; size < valid.size(); size += 97) {
    SCOPED_TRACE("truncated to " + std::to_string(size) + " bytes");
    const Bytes cut(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(size));
    try {
      ReadMsg(cut);
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
  MsgAttachment a;
  a.data.assign(100, 1);
  c.attachments = {a};
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
