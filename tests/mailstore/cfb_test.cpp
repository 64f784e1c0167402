// The compound file writer and reader.
#include "platform/mailstore/cfb.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/error.h"
#include "mailstore/cfb_raw.h"
#include "platform/mailstore/code_page.h"

namespace lorva::mailstore {
namespace {

using testing::Get32;
using testing::Set32;

std::vector<std::uint8_t> Bytes(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + seed);
  return data;
}

// The raw directory entries of a version 3 file, following the FAT from the header (enough for
// files with up to 109 FAT sectors).
std::vector<std::vector<std::uint8_t>> RawDirectory(const std::vector<std::uint8_t>& file) {
  std::vector<std::uint32_t> fat;
  for (std::uint32_t i = 0; i < Get32(file, 0x2C) && i < 109; ++i) {
    const std::uint32_t s = Get32(file, 0x4C + 4 * i);
    for (std::uint32_t k = 0; k < 128; ++k) fat.push_back(Get32(file, (s + 1) * 512 + 4 * k));
  }
  std::vector<std::vector<std::uint8_t>> entries;
  for (std::uint32_t s = Get32(file, 0x30); s < fat.size(); s = fat[s]) {
    for (int k = 0; k < 4; ++k) {
      const auto* p = file.data() + (s + 1) * 512 + 128 * k;
      entries.emplace_back(p, p + 128);
    }
  }
  return entries;
}

std::u16string RawName(const std::vector<std::uint8_t>& e) {
  std::u16string name;
  const int units = ReadLe16(e.data() + 0x40) / 2 - 1;
  for (int i = 0; i < units; ++i) name += static_cast<char16_t>(ReadLe16(e.data() + 2 * i));
  return name;
}

// Upper-cases ASCII letters (the names in these tests are ASCII).
std::u16string UpperAscii(std::u16string s) {
  for (auto& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char16_t>(c - 32);
  }
  return s;
}

bool NameLess(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  return UpperAscii(a) < UpperAscii(b);
}

// Checks one sibling tree: names ordered, no red node with a red child, the same number of
// black nodes on every path. Returns the black height.
int CheckTree(const std::vector<std::vector<std::uint8_t>>& dir, std::uint32_t node,
              const std::u16string* low, const std::u16string* high, bool parentRed) {
  if (node == 0xFFFFFFFF) return 1;
  const auto& e = dir.at(node);
  const std::u16string name = RawName(e);
  if (low) {
    EXPECT_TRUE(NameLess(*low, name)) << "order";
  }
  if (high) {
    EXPECT_TRUE(NameLess(name, *high)) << "order";
  }
  const bool red = e[0x43] == 0;
  EXPECT_FALSE(red && parentRed) << "red node with a red parent";
  const int left = CheckTree(dir, Get32(e, 0x44), low, &name, red);
  const int right = CheckTree(dir, Get32(e, 0x48), &name, high, red);
  EXPECT_EQ(left, right) << "black heights differ";
  return left + (red ? 0 : 1);
}

TEST(CfbTest, StoragesAndStreamsRoundTrip) {
  CfbWriter w;
  w.AddStream(CfbWriter::kRoot, "Small", Bytes(100, 1));
  w.AddStream(CfbWriter::kRoot, "Empty", {});
  w.AddStream(CfbWriter::kRoot, "AtCutoff", Bytes(4096, 2));
  w.AddStream(CfbWriter::kRoot, "BelowCutoff", Bytes(4095, 3));
  const auto sub = w.AddStorage(CfbWriter::kRoot, "Sub");
  const auto subsub = w.AddStorage(sub, "Deeper");
  w.AddStream(subsub, "Leaf", Bytes(70000, 4));
  w.AddStream(sub, "Ελληνικά", Bytes(10, 5));
  const auto file = w.Finish();
  ASSERT_EQ(file.size() % 512, 0u);

  const CfbReader r(file);
  const auto root = CfbReader::kRootEntry;
  EXPECT_EQ(r.ReadStream(*r.Find(root, "Small")), Bytes(100, 1));
  EXPECT_EQ(r.ReadStream(*r.Find(root, "EMPTY")), std::vector<std::uint8_t>{});
  EXPECT_EQ(r.ReadStream(*r.Find(root, "atcutoff")), Bytes(4096, 2));
  EXPECT_EQ(r.ReadStream(*r.Find(root, "BelowCutoff")), Bytes(4095, 3));
  const auto s = r.Find(root, "sub");
  ASSERT_TRUE(s && r.IsStorage(*s));
  const auto d = r.Find(*s, "Deeper");
  ASSERT_TRUE(d && r.IsStorage(*d));
  EXPECT_EQ(r.ReadStream(*r.Find(*d, "Leaf")), Bytes(70000, 4));
  EXPECT_EQ(r.ReadStream(*r.Find(*s, "Ελληνικά")), Bytes(10, 5));
  EXPECT_EQ(r.ReadStream(*r.Find(*s, "ΕΛΛΗΝΙΚΆ")), Bytes(10, 5));
  EXPECT_FALSE(r.Find(root, "Missing").has_value());
  EXPECT_FALSE(r.Find(root, "Leaf").has_value());
}

TEST(CfbTest, SmallStreamsLiveInTheMiniStream) {
  CfbWriter w;
  w.AddStream(CfbWriter::kRoot, "A", Bytes(4095, 1));
  w.AddStream(CfbWriter::kRoot, "B", Bytes(4096, 2));
  const auto file = w.Finish();
  const auto dir = RawDirectory(file);
  for (const auto& e : dir) {
    const std::u16string name = RawName(e);
    if (name == u"A") {
      EXPECT_EQ(Get32(e, 0x78), 4095u);
    }
    if (name == u"Root Entry") {
      EXPECT_EQ(Get32(e, 0x78), 4096u);  // 64 mini sectors of A
    }
  }
  EXPECT_NE(Get32(file, 0x3C), 0xFFFFFFFEu);  // a mini FAT exists
  EXPECT_EQ(Get32(file, 0x40), 1u);
}

TEST(CfbTest, SiblingsFormAValidRedBlackTree) {
  for (int count : {1, 2, 3, 4, 5, 7, 8, 15, 16, 17, 31, 100, 257}) {
    SCOPED_TRACE("children: " + std::to_string(count));
    CfbWriter w;
    for (int i = 0; i < count; ++i) {
      // Mixed lengths and letter cases, added in no particular order.
      const int k = (i * 37) % count;
      std::string name = (k % 2 ? "stream" : "S") + std::to_string(k);
      w.AddStream(CfbWriter::kRoot, name, Bytes(static_cast<std::size_t>(k), 1));
    }
    const auto file = w.Finish();
    const auto dir = RawDirectory(file);
    const std::uint32_t top = Get32(dir[0], 0x4C);
    EXPECT_EQ(dir.at(top)[0x43], 1) << "the tree's root is black";
    CheckTree(dir, top, nullptr, nullptr, false);
    const CfbReader r(file);
    EXPECT_EQ(r.entry(CfbReader::kRootEntry).children.size(), static_cast<std::size_t>(count));
  }
}

TEST(CfbTest, ManyFatSectorsNeedDifatSectors) {
  // Over 109 FAT sectors (109 * 128 * 512 bytes = about 7 MB) need a DIFAT sector.
  CfbWriter w;
  const auto big = Bytes(8 * 1024 * 1024, 9);
  w.AddStream(CfbWriter::kRoot, "Big", big);
  const auto file = w.Finish();
  EXPECT_GT(Get32(file, 0x2C), 109u);
  EXPECT_EQ(Get32(file, 0x48), 1u);
  const CfbReader r(file);
  EXPECT_EQ(r.ReadStream(*r.Find(CfbReader::kRootEntry, "Big")), big);
}

TEST(CfbTest, WriterRejectsBadNames) {
  CfbWriter w;
  w.AddStream(CfbWriter::kRoot, "Name", {});
  EXPECT_THROW(w.AddStream(CfbWriter::kRoot, "NAME", {}), Error);
  EXPECT_THROW(w.AddStream(CfbWriter::kRoot, "", {}), Error);
  EXPECT_THROW(w.AddStream(CfbWriter::kRoot, std::string(32, 'x'), {}), Error);
  EXPECT_NO_THROW(w.AddStream(CfbWriter::kRoot, std::string(31, 'x'), {}));
  EXPECT_THROW(w.AddStream(1, "Child of a stream", {}), Error);
}

TEST(CfbTest, HighSizeBitsAreIgnoredInVersion3) {
  CfbWriter w;
  w.AddStream(CfbWriter::kRoot, "Data", Bytes(5000, 1));
  auto file = w.Finish();
  // Old writers leave junk in the upper half of the size.
  const std::u16string target = u"Data";
  const auto dirStart = (Get32(file, 0x30) + 1) * 512;
  for (std::size_t at = dirStart; at < dirStart + 512; at += 128) {
    std::vector<std::uint8_t> e(file.begin() + at, file.begin() + at + 128);
    if (RawName(e) == target) Set32(file, at + 0x7C, 0xDEADBEEF);
  }
  const CfbReader r(file);
  EXPECT_EQ(r.ReadStream(*r.Find(CfbReader::kRootEntry, "Data")), Bytes(5000, 1));
}

// A version 4 file (4096-byte sectors) built by hand: FAT in sector 0, directory in 1, a
// 5000-byte stream in 2-3, the mini stream in 4, the mini FAT in 5.
std::vector<std::uint8_t> Version4File() {
  constexpr std::size_t kSector = 4096;
  std::vector<std::uint8_t> f(7 * kSector, 0);
  const std::uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::copy(sig, sig + 8, f.begin());
  f[0x18] = 0x3E;
  f[0x1A] = 4;
  f[0x1C] = 0xFE;
  f[0x1D] = 0xFF;
  f[0x1E] = 12;
  f[0x20] = 6;
  Set32(f, 0x28, 1);
  Set32(f, 0x2C, 1);
  Set32(f, 0x30, 1);
  Set32(f, 0x38, 4096);
  Set32(f, 0x3C, 5);
  Set32(f, 0x40, 1);
  Set32(f, 0x44, 0xFFFFFFFE);
  for (int i = 0; i < 109; ++i) Set32(f, 0x4C + 4 * i, i == 0 ? 0 : 0xFFFFFFFF);
  auto sector = [&](std::size_t s) { return (s + 1) * kSector; };
  const std::uint32_t fat[] = {0xFFFFFFFD, 0xFFFFFFFE, 3, 0xFFFFFFFE, 0xFFFFFFFE, 0xFFFFFFFE};
  for (std::size_t k = 0; k < 1024; ++k) Set32(f, sector(0) + 4 * k, k < 6 ? fat[k] : 0xFFFFFFFF);
  for (std::size_t k = 0; k < 1024; ++k) {
    Set32(f, sector(5) + 4 * k, k == 0 ? 1 : k == 1 ? 0xFFFFFFFE : 0xFFFFFFFF);
  }
  auto entry = [&](int id, const char* name, int type, std::uint32_t left, std::uint32_t right,
                   std::uint32_t child, std::uint32_t start, std::uint32_t size) {
    const std::size_t at = sector(1) + 128 * id;
    std::size_t n = 0;
    for (; name[n]; ++n) f[at + 2 * n] = static_cast<std::uint8_t>(name[n]);
    f[at + 0x40] = static_cast<std::uint8_t>(2 * (n + 1));
    f[at + 0x42] = static_cast<std::uint8_t>(type);
    f[at + 0x43] = 1;
    Set32(f, at + 0x44, left);
    Set32(f, at + 0x48, right);
    Set32(f, at + 0x4C, child);
    Set32(f, at + 0x74, start);
    Set32(f, at + 0x78, size);
  };
  const std::uint32_t none = 0xFFFFFFFF;
  for (int id = 0; id < 32; ++id) {
    Set32(f, sector(1) + 128 * id + 0x44, none);
    Set32(f, sector(1) + 128 * id + 0x48, none);
    Set32(f, sector(1) + 128 * id + 0x4C, none);
  }
  entry(0, "Root Entry", 5, none, none, 3, 4, 128);
  entry(1, "Big", 2, none, none, none, 2, 5000);
  entry(2, "Small", 2, none, none, none, 0, 100);
  entry(3, "Sub", 1, 1, 2, 4, 0, 0);
  entry(4, "Inner", 2, none, none, none, 0xFFFFFFFE, 0);
  for (std::size_t i = 0; i < 5000; ++i) f[sector(2) + i] = static_cast<std::uint8_t>(i * 7 + 1);
  for (std::size_t i = 0; i < 100; ++i) f[sector(4) + i] = static_cast<std::uint8_t>(i * 7 + 2);
  return f;
}

TEST(CfbTest, ReadsVersion4Files) {
  const auto file = Version4File();
  const CfbReader r(file);
  const auto root = CfbReader::kRootEntry;
  EXPECT_EQ(r.ReadStream(*r.Find(root, "Big")), Bytes(5000, 1));
  EXPECT_EQ(r.ReadStream(*r.Find(root, "Small")), Bytes(100, 2));
  const auto sub = r.Find(root, "Sub");
  ASSERT_TRUE(sub && r.IsStorage(*sub));
  EXPECT_TRUE(r.ReadStream(*r.Find(*sub, "Inner")).empty());
  ASSERT_EQ(r.entry(root).children.size(), 3u);
  EXPECT_EQ(r.entry(r.entry(root).children[0]).name, "Big");
  EXPECT_EQ(r.entry(r.entry(root).children[1]).name, "Sub");
  EXPECT_EQ(r.entry(r.entry(root).children[2]).name, "Small");
}

// The bytes handed out are bounded per distinct stream: a stream read again (an item's body read
// as often as asked) costs nothing more, whatever its size.
TEST(CfbTest, ReadingAStreamAgainIsNotCountedTwice) {
  CfbWriter w;
  w.AddStream(CfbWriter::kRoot, "Body", Bytes(1 << 20, 3));
  const auto file = w.Finish();
  const CfbReader r(file);
  const auto id = r.Find(CfbReader::kRootEntry, "Body");
  ASSERT_TRUE(id);
  std::vector<std::uint8_t> scratch;
  for (int i = 0; i < 40; ++i) ASSERT_EQ(r.Stream(*id, scratch).size(), 1u << 20) << "read " << i;
}

// An independent reader (Python's olefile) opens what we write and sees the same streams.
TEST(CfbTest, OlefileOpensWrittenFiles) {
  const char* python = "/usr/bin/python3";
  if (!std::filesystem::exists(python) ||
      std::system("/usr/bin/python3 -c 'import olefile' >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "python3-olefile is not installed";
  }
  CfbWriter w;
  w.AddStream(CfbWriter::kRoot, "Small", Bytes(100, 1));
  w.AddStream(CfbWriter::kRoot, "Large", Bytes(9000, 2));
  const auto sub = w.AddStorage(CfbWriter::kRoot, "Storage");
  w.AddStream(sub, "Inner", Bytes(3000, 3));
  for (int i = 0; i < 40; ++i) {
    const std::string number = std::to_string(i);
    w.AddStream(sub, "S" + number, Bytes(i * 10, 4));
  }
  const auto file = w.Finish();
  const auto path =
      std::filesystem::temp_directory_path() / ("lorva_cfb_" + std::to_string(::getpid()) + ".bin");
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
  }
  const std::string script =
      "import olefile,sys\n"
      "f=olefile.OleFileIO(sys.argv[1],raise_defects=olefile.DEFECT_INCORRECT)\n"
      "names=sorted('/'.join(e) for e in f.listdir())\n"
      "assert len(names)==43, names\n"
      "assert f.openstream('Small').read()==bytes((i*7+1)&255 for i in range(100))\n"
      "assert f.openstream('Large').read()==bytes((i*7+2)&255 for i in range(9000))\n"
      "assert f.openstream('Storage/Inner').read()==bytes((i*7+3)&255 for i in range(3000))\n"
      "assert f.get_size('Storage/S39')==390\n";
  const std::string command = std::string(python) + " -c \"" + [&] {
    std::string escaped;
    for (char c : script) {
      if (c == '"' || c == '\\' || c == '$' || c == '`') escaped += '\\';
      escaped += c;
    }
    return escaped;
  }() + "\" " + path.string();
  const int status = std::system(command.c_str());
  std::filesystem::remove(path);
  EXPECT_EQ(status, 0) << command;
}

}  // namespace
}  // namespace lorva::mailstore
