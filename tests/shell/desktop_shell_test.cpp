#include "platform/shell/desktop_shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "base/error.h"
#include "support_code/temp_folder.h"

namespace lorva::platform {
namespace {

namespace fs = std::filesystem;

class DesktopShellTest : public ::testing::Test {
 protected:
  DesktopShellTest() {
    // An opener that writes the argument it was given into a file.
    opener_ =
        dir_.Write("opener", "#!/bin/sh\nprintf '%s' \"$1\" > \"" + dir_ / "tmp" + "\" && mv \"" +
                                 dir_ / "tmp" + "\" \"" + dir_ / "opened" + "\"\n");
    ::chmod(opener_.c_str(), 0755);
  }

  // What the opener received; waits for the started program to finish writing it.
  std::string Opened() {
    for (int i = 0; i < 500 && !fs::exists(dir_ / "opened"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return lorva::testing::TempFolder::Read(dir_ / "opened");
  }

  lorva::testing::TempFolder dir_;
  std::string opener_;
};

TEST_F(DesktopShellTest, OpenHandsTheTargetToTheOpener) {
  DesktopShell(opener_).Open("https://lorva.example/a b");
  EXPECT_EQ(Opened(), "https://lorva.example/a b");
}

TEST_F(DesktopShellTest, TargetStartingWithADashIsNotTakenAsAnOption) {
  DesktopShell(opener_).Open("-index.htm");
  EXPECT_EQ(Opened(), "./-index.htm");
}

TEST_F(DesktopShellTest, StartPassesTheArguments) {
  DesktopShell().Start(opener_, {"first argument", "second"});
  EXPECT_EQ(Opened(), "first argument");
}

TEST_F(DesktopShellTest, ProgramThatCannotStartFails) {
  DesktopShell shell(dir_ / "no-such-opener");
  EXPECT_THROW(shell.Open("index.htm"), Error);
  EXPECT_THROW(shell.Start(dir_ / "no-such-program", {}), Error);
  EXPECT_THROW(shell.Open(""), Error);
}

}  // namespace
}  // namespace lorva::platform
