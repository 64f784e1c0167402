#include "platform/shell/desktop_shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

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

  // What the opener received (waiting for it), taken away for the next call.
  std::string Opened() {
    for (int i = 0; i < 500 && !fs::exists(dir_ / "opened"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::string opened = lorva::testing::TempFolder::Read(dir_ / "opened");
    fs::remove(dir_ / "opened");
    return opened;
  }

  lorva::testing::TempFolder dir_;
  std::string opener_;
};

// A target starting with a dash is made a path, or the opener would take it as an option.
TEST_F(DesktopShellTest, TheOpenerReceivesTheTargetOrTheArguments) {
  DesktopShell(opener_).Open("https://lorva.example/a b");
  EXPECT_EQ(Opened(), "https://lorva.example/a b");
  DesktopShell(opener_).Open("-index.htm");
  EXPECT_EQ(Opened(), "./-index.htm");
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
