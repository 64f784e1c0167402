#include "support/file_handling.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "support_code/recording_shell.h"
#include "support_code/temp_folder.h"
#include "support_code/test_services.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;
using Started = std::pair<std::string, std::vector<std::string>>;

class FileHandlingTest : public ::testing::Test {
 protected:
  testing::TestServices test;
  testing::RecordingShell shell;
  testing::TempFolder folder;
  int creations = 0;
  int registrations = 0;

  // A file service factory that fails `failures` times, then succeeds.
  FileHandling Handling(int failures) {
    return FileHandling(
        test.services, shell,
        [this, failures]() -> std::shared_ptr<FileSystemObject> {
          if (++creations <= failures) return nullptr;
          return std::make_shared<FileSystemObject>();
        },
        [this] { ++registrations; });
  }
};

// A failing creation is tried once more after re-registering; failing again is reported.
TEST_F(FileHandlingTest, SetupRetriesOnceAfterReRegisteringThenReports) {
  for (const int failures : {1, 2}) {
    SCOPED_TRACE(failures);
    test.services.fs = nullptr;
    creations = registrations = 0;
    if (failures == 1) {
      Handling(failures).subSetupFS();
    } else {
      EXPECT_THROW(Handling(failures).subSetupFS(), ProgramEnded);
    }
    EXPECT_EQ(test.services.fs != nullptr, failures == 1);
    EXPECT_EQ(creations, 2);
    EXPECT_EQ(registrations, 1);
  }
  EXPECT_NE(test.LastErrorDialog().find(
                "Creating Scripting.FileSystemObject\r\nThis component is normally installed "
                "with Internet Explorer 4.0 or later\r\n"),
            std::string::npos);
  EXPECT_NE(test.LastErrorDialog().find("Sub routine : subSetupFS \r\n"), std::string::npos);
}

TEST_F(FileHandlingTest, AddressesOpenAndProgramsStartFromTheFolderOrTheProgramsOwn) {
  FileHandling handling(test.services, shell, nullptr, nullptr);
  for (const char* address : {"Http://lorva.example/", "MAILTO:x@y"}) {
    handling.subExecute(address, "", "");
  }
  EXPECT_EQ(shell.opened, (std::vector<std::string>{"Http://lorva.example/", "MAILTO:x@y"}));
  EXPECT_EQ(test.reporter.fncGetCurrentStep(), "Attempting to execute MAILTO:x@y  ");

  const std::string tool = folder.Write("Tool", "#!/bin/sh\n");
  ::chmod(tool.c_str(), 0755);
  handling.subExecute("Tool", "--a \"b c\"", folder.str() + "/");
  EXPECT_EQ(shell.started, (std::vector<Started>{{tool, {"--a", "b c"}}}));
  EXPECT_EQ(test.reporter.fncGetCurrentStep(), "Attempting to execute the path '" + tool + "'");

  // Not in the folder: the program's own folder (this test program's) is tried; missing there
  // too: the message.
  const fs::path self = fs::read_symlink("/proc/self/exe");
  handling.subExecute(self.filename().string(), "", "");
  EXPECT_EQ(shell.started.back(), (Started{self.string(), {}}));
  handling.subExecute("NoSuchTool", "", folder.str());
  ASSERT_EQ(test.dialogs.shown().size(), 1u);
  EXPECT_EQ(test.dialogs.shown()[0].text,
            "Error trying to run the file at " + self.parent_path().string() + "/NoSuchTool\r\n");
  EXPECT_EQ(test.dialogs.shown()[0].style, 16);
  EXPECT_EQ(test.dialogs.shown()[0].title, "Lorva for Outlook");
}

class RefusingShell : public platform::Shell {
 public:
  void Open(const std::string& target) override {
    throw Error(errnum::kFileNotFound, "No handler for " + target);
  }
  void Start(const std::string&, const std::vector<std::string>&) override {}
};

TEST_F(FileHandlingTest, ShellFailureIsReported) {
  RefusingShell refusing;
  FileHandling handling(test.services, refusing, nullptr, nullptr);
  EXPECT_THROW(handling.subExecute("https://lorva.example/", "", ""), ProgramEnded);
  const std::string dialog = test.LastErrorDialog();
  EXPECT_NE(dialog.find("This error has occured: :\r\n"
                        "Attempting to execute https://lorva.example/  \r\n"),
            std::string::npos);
  EXPECT_NE(dialog.find("Sub routine : modFileHandling.subExecute \r\n"), std::string::npos);
}

}  // namespace
}  // namespace lorva
