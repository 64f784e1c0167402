#include "page/destination.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

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
  dir.Write(".notes.kept-Ab12Cd", "not a conversion page: never set aside");

  RecoverInterruptedRun(d);

  EXPECT_EQ(Entries(dir.path()),
            (std::set<std::string>{"104.htm", "105.htm", ".106.htm.kept-1-Xy34Zw", ".lorva-1-4.tmp",
                                   "Images", "1003_files", ".notes.kept-Ab12Cd"}));
  EXPECT_EQ(TempFolder::Read(d + "/104.htm"), "the page of an earlier run");
  EXPECT_EQ(TempFolder::Read(d + "/105.htm"), "page 105");
  EXPECT_EQ(Entries(dir.path() / "Images"),
            (std::set<std::string>{"bulletredsmall.gif", "logo.png"}));
  EXPECT_TRUE(Entries(dir.path() / "1003_files").empty());
  EXPECT_FALSE(fs::exists(outside / "victim.rtf"));
}

// Each row: a link in the destination and whether a run may write through it (the batch tests
// cover the links a run writes through).
TEST(LinkedFolderInTest, RefusesOnlyLinkedFoldersLeadingOutOfTheDestination) {
  const struct {
    std::string link, target;  // a target "OUT" lies outside the destination
    bool refused;
  } cases[] = {
      {"-5_files", "OUT", true},        // an attachment folder
      {"Images", "OUT/missing", true},  // to nothing
      {"images", "Images", false},      // one folder under both names
      {"images", "OUT", true},          // the style sheet's spelling
      {"photos", "OUT", false},         // not a folder a run writes into
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.link + " -> " + c.target);
    TempFolder dir, outside;
    fs::create_directories(dir / "Images");
    if (c.link == "Images") fs::remove(dir / "Images");
    const std::string target =
        c.target.starts_with("OUT") ? outside.str() + c.target.substr(3) : c.target;
    fs::create_symlink(target, dir / c.link);
    const std::optional<FolderLink> link = LinkedFolderIn(dir.str());
    EXPECT_EQ(link.has_value(), c.refused);
    EXPECT_EQ(link ? link->path + " " + link->target : "",
              c.refused ? dir / c.link + " " + target : "");
  }
  TempFolder dir;  // the destination itself may be a link
  fs::create_directory_symlink(dir.path(), dir / "archive");
  EXPECT_FALSE(LinkedFolderIn(dir / "archive").has_value());
}

}  // namespace
}  // namespace lorva
