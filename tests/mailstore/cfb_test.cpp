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

// What is written reads back; junk that old writers leave in the upper half of a size is
// ignored.
TEST(CfbTest, StoragesAndStreamsRoundTrip) {
  auto file = WrittenFile();
  Set32(file, testing::EntryOffset(file, "AtCutoff") + 0x7C, 0xDEADBEEF);
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

// A version 4 file (4096-byte sectors) built by hand: FAT in sector 0, directory in 1, a
// 5000-byte stream in 2-3, the mini stream in 4, the mini FAT in 5; the root holds a storage
// between the two streams.
std::vector<std::uint8_t> Version4File() {
  constexpr std::uint32_t kSector = 4096, none = 0xFFFFFFFF, end = 0xFFFFFFFE;
  std::vector<std::uint8_t> f(7 * kSector, 0);
  auto sector = [&](std::size_t s) { return (s + 1) * kSector; };
  // Signature; versions 0x3E and 4; byte order, sector shift 12; mini sector shift 6; counts of
  // directory and FAT sectors, the first directory sector, the mini cutoff, the first mini FAT
  // sector and their count, no DIFAT sector, then the DIFAT: the FAT in sector 0.
  const std::uint32_t header[] = {0xE011CFD0, 0xE11AB1A1, 0x0004003E, 0x000CFFFE, 6, 0,   1, 1,
                                  1,          0,          4096,       5,          1, end, 0, 0};
  for (std::size_t i = 0; i < 16; ++i) Set32(f, i < 2 ? 4 * i : 0x18 + 4 * (i - 2), header[i]);
  for (std::size_t at = 0x50; at < 0x200; at += 4) Set32(f, at, none);
  const std::uint32_t fat[] = {0xFFFFFFFD, end, 3, end, end, end}, miniFat[] = {1, end};
  for (std::uint32_t k = 0; k < 1024; ++k) Set32(f, sector(0) + 4 * k, k < 6 ? fat[k] : none);
  for (std::uint32_t k = 0; k < 1024; ++k) Set32(f, sector(5) + 4 * k, k < 2 ? miniFat[k] : none);
  auto entry = [&](int id, std::string_view name, int type, std::uint32_t left, std::uint32_t right,
                   std::uint32_t child, std::uint32_t start, std::uint32_t size) {
    const std::size_t at = sector(1) + 128 * id;
    for (std::size_t n = 0; n < name.size(); ++n) f[at + 2 * n] = name[n];
    f[at + 0x40] = static_cast<std::uint8_t>(2 * (name.size() + 1));
    f[at + 0x42] = static_cast<std::uint8_t>(type);
    f[at + 0x43] = 1;
    for (const auto& [field, value] :
         {std::pair{0x44, left}, {0x48, right}, {0x4C, child}, {0x74, start}, {0x78, size}}) {
      Set32(f, at + field, value);
    }
  };
  entry(0, "Root Entry", 5, none, none, 3, 4, 128);
  entry(1, "Big", 2, none, none, none, 2, 5000);
  entry(2, "Small", 2, none, none, none, 0, 100);
  entry(3, "Sub", 1, 1, 2, none, 0, 0);
  for (int id = 4; id < 32; ++id) {
    for (int field : {0x44, 0x48, 0x4C}) Set32(f, sector(1) + 128 * id + field, none);
  }
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
  std::vector<std::string_view> children;
  for (const auto child : r.entry(root).children) children.push_back(r.entry(child).name);
  EXPECT_EQ(children, (std::vector<std::string_view>{"Big", "Sub", "Small"}));
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
