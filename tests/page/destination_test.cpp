#include "page/destination.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/file_system.h"
#include "support_code/temp_folder.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// A process number that no process has: far above the system's limit.
constexpr const char* kEndedProcess = "999999999";

std::set<std::string> Entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

// What a killed run leaves behind, and what the next run's start makes of it.
TEST(RecoverInterruptedRunTest, PutsSetAsidePagesBackAndRemovesTemporaryFiles) {
  TempFolder dir, outside;
  const std::string d = dir.str();
  fs::create_directories(d + "/Images");
  fs::create_directories(d + "/1003_files");
  dir.Write("104.htm", "converted page of the killed run");
  dir.Write(".104.htm.kept-Ab12Cd", "the page of an earlier run");  // an earlier version's name
  dir.Write(std::string(".105.htm.kept-") + kEndedProcess + "-Xy34Zw", "page 105");
  dir.Write(".106.htm.kept-1-Xy34Zw", "page 106 of a process still running");  // process 1 runs
  dir.Write(std::string(".lorva-") + kEndedProcess + "-3.tmp", "half a page");
  dir.Write(".lorva-1-4.tmp", "a page another run is writing");
  dir.Write(std::string("Images/.lorva-") + kEndedProcess + "-5.tmp", "half a bullet");
  dir.Write(std::string("1003_files/.lorva-") + kEndedProcess + "-6.tmp", "half an attachment");
  dir.Write("Images/bulletredsmall.gif", "bullet");
  fs::create_symlink(outside / "victim.rtf", d + "/Images/1004.rtf");
  fs::create_symlink(outside / "logo.png", d + "/Images/logo.png");  // not the run's: stays
  dir.Write("notes.kept-Ab12Cd", "not hidden: not a page set aside");

  RecoverInterruptedRun(d);

  EXPECT_EQ(Entries(dir.path()),
            (std::set<std::string>{"104.htm", "105.htm", ".106.htm.kept-1-Xy34Zw", ".lorva-1-4.tmp",
                                   "Images", "1003_files", "notes.kept-Ab12Cd"}));
  EXPECT_EQ(TempFolder::Read(d + "/104.htm"), "the page of an earlier run");
  EXPECT_EQ(TempFolder::Read(d + "/105.htm"), "page 105");
  EXPECT_EQ(Entries(dir.path() / "Images"),
            (std::set<std::string>{"bulletredsmall.gif", "logo.png"}));
  EXPECT_TRUE(Entries(dir.path() / "1003_files").empty());
  EXPECT_FALSE(fs::exists(outside / "victim.rtf"));
}

TEST(RecoverInterruptedRunTest, NamesItGivesAreTheOnesItRecognises) {
  TempFolder dir;
  const std::string page = dir.Write("7.htm", "page");
  std::string kept = KeptPagePattern(page);
  ASSERT_EQ(kept.substr(0, dir.str().size() + 7), dir.str() + "/.7.htm");
  const int fd = ::mkstemp(kept.data());
  ASSERT_GE(fd, 0);
  ::close(fd);
  fs::rename(page, kept);
  dir.Write(fs::path(TemporaryPathBeside(page)).filename(), "half");
  RecoverInterruptedRun(dir.str());  // this process runs no other run: its leftovers go
  EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"7.htm"});
  EXPECT_EQ(TempFolder::Read(page), "page");
}

// Each row: a link in the destination and whether the run may write through it.
TEST(LinkedFolderInTest, RefusesLinkedFoldersLeadingOutOfTheDestination) {
  struct Case {
    std::string link;
    std::string target;  // "OUT/..." outside the destination, else inside it
    bool refused;
  };
  const Case cases[] = {
      {"Images", "OUT/pictures", true},
      {"images", "OUT/pictures", true},
      {"1001_files", "OUT/pictures", true},
      {"-5_files", "OUT/pictures", true},
      {"Images", "OUT/missing", true},    // dangling
      {"Images", "OUT/file", true},       // not a folder
      {"images", "Images", false},        // one folder under both names
      {"1001_files", "shared", false},    // a folder inside the destination
      {"photos", "OUT/pictures", false},  // not written by a run
      {"report_files", "OUT/pictures", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link + " -> " + c.target);
    TempFolder dir, outside;
    fs::create_directories(outside / "pictures");
    outside.Write("file", "x");
    fs::create_directories(dir / "Images");
    fs::create_directories(dir / "shared");
    if (c.link == "Images") fs::remove(dir / "Images");
    const std::string target =
        c.target.starts_with("OUT/") ? outside / c.target.substr(4) : c.target;
    fs::create_symlink(target, dir / c.link);

    const std::optional<FolderLink> link = LinkedFolderIn(dir.str());
    EXPECT_EQ(link.has_value(), c.refused);
    if (link) {
      EXPECT_EQ(link->path, dir / c.link);
      EXPECT_EQ(link->target, target);
    }
  }
}

TEST(LinkedFolderInTest, TheDestinationItselfMayBeALink) {
  TempFolder dir, real;
  fs::create_directories(real / "Images");
  fs::create_directory_symlink(real.path(), dir / "archive");
  EXPECT_EQ(LinkedFolderIn(dir / "archive"), std::nullopt);
}

}  // namespace
}  // namespace lorva
