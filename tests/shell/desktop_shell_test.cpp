#include "platform/shell/desktop_shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "base/error.h"

namespace lorva::platform {
namespace {

namespace fs = std::filesystem;

class DesktopShellTest : public ::testing::Test {
 protected:
  DesktopShellTest() {
    std::string pattern = (fs::temp_directory_path() / "lorva-shell-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    dir_ = pattern;
    // An opener that writes the argument it was given into a file.
    opener_ = dir_ / "opener";
    std::ofstream(opener_) << "#!/bin/sh\nprintf '%s' \"$1\" > \"" << (dir_ / "tmp").string()
                           << "\" && mv \"" << (dir_ / "tmp").string() << "\" \""
                           << (dir_ / "opened").string() << "\"\n";
    ::chmod(opener_.c_str(), 0755);
  }
  ~DesktopShellTest() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // What the opener received; waits for the started program to finish writing it.
  std::string Opened() {
    for (int i = 0; i < 500 && !fs::exists(dir_ / "opened"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream in(dir_ / "opened");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path dir_;
  fs::path opener_;
};

TEST_F(DesktopShellTest, OpenHandsTheTargetToTheOpener) {
  DesktopShell(opener_.string()).Open("https://lorva.example/a b");
  EXPECT_EQ(Opened(), "https://lorva.example/a b");
}

TEST_F(DesktopShellTest, TargetStartingWithADashIsNotTakenAsAnOption) {
  DesktopShell(opener_.string()).Open("-index.htm");
  EXPECT_EQ(Opened(), "./-index.htm");
}

TEST_F(DesktopShellTest, ProgramThatCannotStartFails) {
  DesktopShell shell((dir_ / "no-such-opener").string());
  EXPECT_THROW(shell.Open("index.htm"), Error);
  EXPECT_THROW(shell.Start((dir_ / "no-such-program").string(), {}), Error);
  EXPECT_THROW(shell.Open(""), Error);
}

TEST_F(DesktopShellTest, StartPassesTheArguments) {
  DesktopShell().Start(opener_.string(), {"first argument", "second"});
  EXPECT_EQ(Opened(), "first argument");
}

}  // namespace
}  // namespace lorva::platform
