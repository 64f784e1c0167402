#include "base/files.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support_code/temp_folder.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Whatever stands at the place, a committed file takes it; a link there is replaced, never
// written through, and no temporary file stays behind.
TEST(ReplacingFileTest, CommitTakesThePlaceOfWhatStoodThere) {
  struct Case {
    std::string what;
    void (*prepare)(const TempFolder& folder);
  };
  const Case cases[] = {
      {"nothing", [](const TempFolder&) {}},
      {"a file", [](const TempFolder& f) { f.Write("page.htm", "old"); }},
      {"a read-only file",
       [](const TempFolder& f) { ::chmod(f.Write("page.htm", "old").c_str(), 0444); }},
      {"a link to a file elsewhere",
       [](const TempFolder& f) {
         fs::create_directory(f.path() / "elsewhere");
         f.Write("elsewhere/target", "target");
         fs::create_symlink(f.path() / "elsewhere/target", f.path() / "page.htm");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("at the place: " + c.what);
    TempFolder folder;
    c.prepare(folder);
    ReplacingFile file(folder / "page.htm");
    ASSERT_FALSE(file.Open());
    ASSERT_FALSE(file.Write("new "));
    ASSERT_FALSE(file.Write("page"));
    ASSERT_FALSE(file.Commit(/*durable=*/c.what == "a file"));
    EXPECT_FALSE(fs::is_symlink(folder.path() / "page.htm"));
    EXPECT_EQ(TempFolder::Read(folder / "page.htm"), "new page");
    if (fs::exists(folder.path() / "elsewhere")) {
      EXPECT_EQ(TempFolder::Read(folder / "elsewhere/target"), "target");
    }
    std::vector<std::string> names = Names(folder.path());
    std::erase(names, "elsewhere");
    EXPECT_EQ(names, std::vector<std::string>{"page.htm"});
  }
}

TEST(ReplacingFileTest, UncommittedFileLeavesThePlaceAsItWas) {
  TempFolder folder;
  folder.Write("page.htm", "old");
  {
    ReplacingFile file(folder / "page.htm");
    ASSERT_FALSE(file.Open(0600));
    struct stat info {};
    ASSERT_EQ(::fstat(file.fd(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_FALSE(file.Write("new"));
  }
  EXPECT_EQ(TempFolder::Read(folder / "page.htm"), "old");
  EXPECT_EQ(Names(folder.path()), std::vector<std::string>{"page.htm"});
}

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
  EXPECT_EQ(Names(folder.path()), std::vector<std::string>{"Images"});
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
