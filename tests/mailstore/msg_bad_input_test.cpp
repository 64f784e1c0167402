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
    {"zeros", [] { return Bytes(4096, 0); }},
    {"header only",
     [] {
       auto b = ValidItem();
       b.resize(512);
       return b;
     }},
    {"truncated to half",
     [] {
       auto b = ValidItem();
       b.resize(b.size() / 2);
       return b;
     }},
    {"truncated inside the last stream",
     [] {
       auto b = ValidItem();
       b.resize(b.size() - 200);
       return b;
     }},
    {"bad signature",
     [] {
       auto b = ValidItem();
       b[0] = 0;
       return b;
     }},
    {"bad byte order",
     [] {
       auto b = ValidItem();
       b[0x1C] = 0xFF;
       return b;
     }},
    {"unknown major version",
     [] {
       auto b = ValidItem();
       b[0x1A] = 5;
       return b;
     }},
    {"version 3 with 4096-byte sectors",
     [] {
       auto b = ValidItem();
       b[0x1E] = 12;
       return b;
     }},
    {"bad mini sector shift",
     [] {
       auto b = ValidItem();
       b[0x20] = 7;
       return b;
     }},
    {"bad mini stream cutoff",
     [] {
       auto b = ValidItem();
       Set32(b, 0x38, 100);
       return b;
     }},
    {"FAT sector count beyond the file",
     [] {
       auto b = ValidItem();
       Set32(b, 0x2C, 0x00FFFFFF);
       return b;
     }},
    {"FAT sector number out of range",
     [] {
       auto b = ValidItem();
       Set32(b, 0x4C, 0x00FFFFFF);
       return b;
     }},
    {"DIFAT chain out of range",
     [] {
       auto b = ValidItem(70000);  // over 115 sectors
       Set32(b, 0x2C, 115);
       Set32(b, 0x44, 0x00ABCDEF);
       return b;
     }},
    {"loop in a stream's FAT chain",
     [] {
       auto b = ValidItem();
       const std::uint32_t start = Get32(b, EntryOffset(b, kData) + 0x74);
       Set32(b, FatEntryOffset(b, start + 2), start);
       return b;
     }},
    {"FAT chain pointing at itself",
     [] {
       auto b = ValidItem();
       const std::uint32_t start = Get32(b, EntryOffset(b, kData) + 0x74);
       Set32(b, FatEntryOffset(b, start), start);
       return b;
     }},
    {"FAT chain leaving the FAT",
     [] {
       auto b = ValidItem();
       const std::uint32_t start = Get32(b, EntryOffset(b, kData) + 0x74);
       Set32(b, FatEntryOffset(b, start), 0x00FFFFF0);
       return b;
     }},
    {"loop in the directory chain",
     [] {
       auto b = ValidItem();
       const std::uint32_t first = Get32(b, 0x30);
       Set32(b, FatEntryOffset(b, first), first);
       return b;
     }},
    {"directory chain out of range",
     [] {
       auto b = ValidItem();
       Set32(b, 0x30, 0x00FFFFFF);
       return b;
     }},
    {"loop in the directory tree (storage's child is the root)",
     [] {
       auto b = ValidItem();
       Set32(b, EntryOffset(b, "__attach_version1.0_#00000000") + 0x4C, 0);
       return b;
     }},
    {"loop in the directory tree (sibling is itself)",
     [] {
       auto b = ValidItem();
       const std::uint32_t child = Get32(b, EntryOffset(b, "Root Entry") + 0x4C);
       const std::size_t at = testing::DirectoryOffsets(b)[child];
       Set32(b, at + 0x44, child);
       return b;
     }},
    {"directory entry number out of range",
     [] {
       auto b = ValidItem();
       Set32(b, EntryOffset(b, "Root Entry") + 0x4C, 0x00FFFFFF);
       return b;
     }},
    {"unknown directory entry type",
     [] {
       auto b = ValidItem();
       b[EntryOffset(b, kSubject) + 0x42] = 7;
       return b;
     }},
    {"bad directory name length",
     [] {
       auto b = ValidItem();
       b[EntryOffset(b, kSubject) + 0x40] = 200;
       return b;
     }},
    {"first entry is not the root",
     [] {
       auto b = ValidItem();
       b[EntryOffset(b, "Root Entry") + 0x42] = 1;
       return b;
     }},
    {"stream sector out of range",
     [] {
       auto b = ValidItem();
       Set32(b, EntryOffset(b, kData) + 0x74, 0x00FFFFFF);
       return b;
     }},
    {"stream size larger than the file",
     [] {
       auto b = ValidItem();
       Set32(b, EntryOffset(b, kData) + 0x78, 0x7FFFFFFF);
       return b;
     }},
    {"stream size larger than its chain",
     [] {
       auto b = ValidItem();
       Set32(b, EntryOffset(b, kData) + 0x78, static_cast<std::uint32_t>(b.size() - 600));
       return b;
     }},
    {"mini stream sector out of range",
     [] {
       auto b = ValidItem();
       Set32(b, EntryOffset(b, kSubject) + 0x74, 0x00FFFFFF);
       return b;
     }},
    {"loop in a mini FAT chain",
     [] {
       auto b = ValidItem();
       const std::uint32_t start = Get32(b, EntryOffset(b, kSubject) + 0x74);
       Set32(b, (Get32(b, 0x3C) + 1) * 512 + 4 * (start + 1), start);
       return b;
     }},
    {"mini stream (root data) larger than the file",
     [] {
       auto b = ValidItem();
       Set32(b, EntryOffset(b, "Root Entry") + 0x78, 0x7FFFFFC0);
       return b;
     }},
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
    {"name map offset just below the end",
     [] {
       return HandBuilt(Bytes(32, 0), Bytes{14, 0, 0, 0, 5, 0, 0, 0}, NameStrings());
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

TEST(MsgBadInputTest, MalformedEmbeddedMessageSpoilsOnlyItself) {
  CfbWriter w;
  Bytes top(32, 0);
  top[12] = top[20] = 1;
  w.AddStream(CfbWriter::kRoot, "__properties_version1.0", top);
  Bytes subject;
  AppendUtf16Le("Parent", subject);
  w.AddStream(CfbWriter::kRoot, "__substg1.0_0037001F", subject);
  const auto attach = w.AddStorage(CfbWriter::kRoot, "__attach_version1.0_#00000000");
  Bytes props(8, 0);
  const std::uint8_t method[16] = {0x03, 0x00, 0x05, 0x37, 6, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0};
  props.insert(props.end(), method, method + 16);
  w.AddStream(attach, "__properties_version1.0", props);
  const auto sub = w.AddStorage(attach, "__substg1.0_3701000D");
  w.AddStream(sub, "__properties_version1.0", Bytes(20, 0));  // shorter than its header
  const MsgContent parent = ReadMsg(w.Finish());
  EXPECT_EQ(parent.subject, "Parent");
  ASSERT_EQ(parent.attachments.size(), 1u);
  EXPECT_THROW(ReadMsg(parent.attachments[0].data), Error);
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
