// The compound file writer and reader.
#include "platform/mailstore/cfb.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/error.h"
#include "mailstore/cfb_raw.h"
#include "platform/mailstore/code_page.h"
#include "support_code/temp_folder.h"

namespace lorva::mailstore {
namespace {

using testing::Get32;
using testing::Set32;

std::vector<std::uint8_t> Bytes(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + seed);
  return data;
}

// A file with streams on both sides of the mini stream cutoff, storages within storages, a name
// beyond ASCII and forty siblings.
std::vector<std::uint8_t> WrittenFile() {
  CfbWriter w;
  w.AddStream(CfbWriter::kRoot, "Small", Bytes(100, 1));
  w.AddStream(CfbWriter::kRoot, "Empty", {});
  w.AddStream(CfbWriter::kRoot, "AtCutoff", Bytes(4096, 2));
  w.AddStream(CfbWriter::kRoot, "BelowCutoff", Bytes(4095, 3));
  const auto sub = w.AddStorage(CfbWriter::kRoot, "Sub");
  w.AddStream(w.AddStorage(sub, "Deeper"), "Leaf", Bytes(70000, 4));
  w.AddStream(sub, "Ελληνικά", Bytes(10, 5));
  for (int i = 0; i < 40; ++i) {
    const std::string number = std::to_string(i);
    w.AddStream(sub, "S" + number, Bytes(i * 10, 6));
  }
  return w.Finish();
}

TEST(CfbTest, StoragesAndStreamsRoundTrip) {
  const auto file = WrittenFile();
  const CfbReader r(file);
  const auto root = CfbReader::kRootEntry;
  EXPECT_EQ(r.ReadStream(*r.Find(root, "EMPTY")), std::vector<std::uint8_t>{});
  EXPECT_EQ(r.ReadStream(*r.Find(root, "atcutoff")), Bytes(4096, 2));
  EXPECT_EQ(r.ReadStream(*r.Find(root, "BelowCutoff")), Bytes(4095, 3));
  const auto s = r.Find(root, "sub");
  ASSERT_TRUE(s && r.IsStorage(*s));
  EXPECT_EQ(r.ReadStream(*r.Find(*r.Find(*s, "Deeper"), "Leaf")), Bytes(70000, 4));
  EXPECT_EQ(r.ReadStream(*r.Find(*s, "ΕΛΛΗΝΙΚΆ")), Bytes(10, 5));
  EXPECT_FALSE(r.Find(root, "Leaf").has_value());
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

TEST(CfbTest, HighSizeBitsAreIgnoredInVersion3) {
  CfbWriter w;
  w.AddStream(CfbWriter::kRoot, "Data", Bytes(5000, 1));
  auto file = w.Finish();
  // Old writers leave junk in the upper half of the size.
  Set32(file, testing::EntryOffset(file, "Data") + 0x7C, 0xDEADBEEF);
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

// An independent reader (Python's olefile) opens what we write and sees the same streams.
TEST(CfbTest, OlefileOpensWrittenFiles) {
  const char* python = "/usr/bin/python3";
  if (!std::filesystem::exists(python) ||
      std::system("/usr/bin/python3 -c 'import olefile' >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "python3-olefile is not installed";
  }
  const auto file = WrittenFile();
  lorva::testing::TempFolder folder;
  folder.Write("written.bin", std::string(file.begin(), file.end()));
  folder.Write("check.py",
               "import olefile,sys\n"
               "f=olefile.OleFileIO(sys.argv[1],raise_defects=olefile.DEFECT_INCORRECT)\n"
               "assert len(f.listdir())==46, f.listdir()\n"
               "assert f.openstream('Small').read()==bytes((i*7+1)&255 for i in range(100))\n"
               "assert f.openstream('AtCutoff').read()==bytes((i*7+2)&255 for i in range(4096))\n"
               "assert f.openstream('Sub/Deeper/Leaf').read()==bytes((i*7+4)&255 for i in "
               "range(70000))\n"
               "assert f.get_size('Sub/S39')==390\n");
  const std::string command =
      std::string(python) + " " + (folder / "check.py") + " " + (folder / "written.bin");
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

}  // namespace
}  // namespace lorva::mailstore
