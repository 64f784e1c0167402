#include "base/files.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support_code/temp_folder.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// A folder at the place keeps it, and what it holds; the written file goes with the refusal.
TEST(ReplacingFileTest, FolderAtThePlaceOrNoFolderForItIsRefused) {
  TempFolder folder;
  fs::create_directory(folder.path() / "Images");
  folder.Write("Images/photo.jpg", "photo");
  ReplacingFile onFolder(folder / "Images");
  ASSERT_FALSE(onFolder.Open());
  ASSERT_FALSE(onFolder.Write("page"));
  EXPECT_EQ(onFolder.Commit(), std::errc::is_a_directory);
  EXPECT_EQ(TempFolder::Read(folder / "Images/photo.jpg"), "photo");
  ReplacingFile inMissingFolder(folder / "missing/page.htm");
  EXPECT_EQ(inMissingFolder.Open(), std::errc::no_such_file_or_directory);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 1) << "Images alone";
}

// The file is written in place, emptied of what it held; a link there is written through.
TEST(WriteWholeFileTest, WritesInPlaceOverWhatStoodThere) {
  TempFolder folder;
  folder.Write("item.msg", "a longer old content");
  fs::create_symlink(folder.path() / "item.msg", folder.path() / "link.msg");
  ASSERT_FALSE(WriteWholeFile(folder / "link.msg", "new"));
  EXPECT_TRUE(fs::is_symlink(folder.path() / "link.msg"));
  EXPECT_EQ(TempFolder::Read(folder / "item.msg"), "new");
  EXPECT_EQ(WriteWholeFile(folder / "missing/item.msg", "new"),
            std::errc::no_such_file_or_directory);
}

TEST(ReadWholeFileTest, ReadsFilesOfAnySizeOrSaysWhyNot) {
  TempFolder folder;
  const std::string large(300000, 'x');
  FileBytes bytes;
  EXPECT_FALSE(ReadWholeFile(folder.Write("large", large), bytes));
  EXPECT_EQ(bytes.view(), large);
  EXPECT_FALSE(ReadWholeFile(folder.Write("empty", ""), bytes));
  EXPECT_EQ(bytes.size(), 0u);
  // The files of /proc say their size is 0.
  EXPECT_FALSE(ReadWholeFile("/proc/self/stat", bytes));
  EXPECT_NE(bytes.view().find(')'), std::string_view::npos);
  EXPECT_EQ(ReadWholeFile(folder / "missing", bytes), std::errc::no_such_file_or_directory);
  EXPECT_EQ(bytes.size(), 0u);
}

}  // namespace
}  // namespace lorva
