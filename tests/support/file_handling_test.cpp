#include "support/file_handling.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "support_code/scripted_dialogs.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;

class RecordingShell : public platform::Shell {
 public:
  void Open(const std::string& target) override { calls.push_back("open " + target); }
  void Start(const std::string& program, const std::vector<std::string>& arguments) override {
    std::string call = "start " + program;
    for (const auto& argument : arguments) call += " [" + argument + "]";
    calls.push_back(call);
  }
  std::vector<std::string> calls;
};

class FileHandlingTest : public ::testing::Test {
 protected:
  FileHandlingTest()
      : reporter(dialogs, MakeHooks()),
        services{reporter, nullptr},
        folder(fs::temp_directory_path() / ("lorva-fh-test-" + std::to_string(::getpid()))) {
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  ~FileHandlingTest() override { fs::remove_all(folder); }

  ErrorReporter::Hooks MakeHooks() {
    ErrorReporter::Hooks hooks;
    hooks.endProgram = [this] {
      ++endCalls;
      throw ProgramEnded{1};
    };
    hooks.osName = [] { return std::string("Linux 6.1"); };
    return hooks;
  }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (folder / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  testing::ScriptedDialogs dialogs;
  ErrorReporter reporter;
  Services services;
  RecordingShell shell;
  fs::path folder;
  int endCalls = 0;
};

TEST_F(FileHandlingTest, SetupRetriesOnceAfterReRegistering) {
  int creations = 0;
  int registrations = 0;
  FileHandling handling(
      services, shell,
      [&]() -> std::shared_ptr<FileSystemObject> {
        ++creations;
        return nullptr;
      },
      [&] { ++registrations; });
  dialogs.QueueAnswer(platform::msgbox::kNo);
  EXPECT_THROW(handling.subSetupFS(), ProgramEnded);
  EXPECT_EQ(creations, 2);
  EXPECT_EQ(registrations, 1);
  EXPECT_EQ(services.fs, nullptr);
  ASSERT_EQ(dialogs.shown().size(), 1u);
  EXPECT_NE(dialogs.shown()[0].text.find(
                "Creating Scripting.FileSystemObject\r\nThis component is normally installed "
                "with Internet Explorer 4.0 or later\r\n"),
            std::string::npos);
  EXPECT_NE(dialogs.shown()[0].text.find("Sub routine : subSetupFS \r\n"), std::string::npos);
}

TEST_F(FileHandlingTest, SetupSucceedsOnTheRetry) {
  int creations = 0;
  int registrations = 0;
  FileHandling handling(
      services, shell,
      [&]() -> std::shared_ptr<FileSystemObject> {
        if (++creations == 1) throw Error(429, "ActiveX component can't create object");
        return std::make_shared<FileSystemObject>();
      },
      [&] { ++registrations; });
  handling.subSetupFS();
  EXPECT_NE(services.fs, nullptr);
  handling.subSetupFS();  // already set: nothing more
  EXPECT_EQ(creations, 2);
  EXPECT_EQ(registrations, 1);
}

TEST_F(FileHandlingTest, SecondSetupAfterFailureDoesNotReRegister) {
  int registrations = 0;
  int creations = 0;
  // A reporter whose report cannot be shown returns, so setup returns without a service.
  ErrorReporter::Hooks hooks;
  hooks.attachOutlook = []() -> std::shared_ptr<outlook::Application> { return nullptr; };
  hooks.osName = [] { return std::string("Linux 6.1"); };
  dialogs.SetDefaultYes(true);
  ErrorReporter returning(dialogs, hooks);
  Services quiet{returning, nullptr};
  FileHandling handling2(
      quiet, shell,
      [&]() -> std::shared_ptr<FileSystemObject> {
        ++creations;
        return nullptr;
      },
      [&] { ++registrations; });
  handling2.subSetupFS();
  EXPECT_EQ(quiet.fs, nullptr);
  // The second call tries once more without re-registering; its report ends the program.
  EXPECT_THROW(handling2.subSetupFS(), ProgramEnded);
  EXPECT_EQ(registrations, 1);
  EXPECT_EQ(creations, 3);
  EXPECT_EQ(quiet.fs, nullptr);
  EXPECT_THROW(quiet.Fs(), Error);
}

TEST_F(FileHandlingTest, ReadTextFileDecodesAndHandlesMissingAndEmptyFiles) {
  FileHandling handling(services, shell, nullptr, nullptr);
  EXPECT_EQ(handling.fncReadTextFile(Write("utf8.htm", "\xEF\xBB\xBFZ\xC3\xBCrich")),
            "Z\xC3\xBCrich");
  EXPECT_EQ(handling.fncReadTextFile(Write("ansi.htm", "Z\xFCrich \x93quoted\x94")),
            "Z\xC3\xBCrich \xE2\x80\x9Cquoted\xE2\x80\x9D");
  EXPECT_EQ(handling.fncReadTextFile(Write("empty.htm", "")), "");
  EXPECT_EQ(handling.fncReadTextFile((folder / "missing.htm").string()), "");
  EXPECT_EQ(reporter.fncGetCurrentStep(),
            "Attempting to read contents of file " + (folder / "missing.htm").string());
  EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(FileHandlingTest, AddressesOpenWithTheDesktopHandlerInAnyLetterCase) {
  FileHandling handling(services, shell, nullptr, nullptr);
  handling.subExecute("https://lorva.example/", "ignored", "/ignored");
  handling.subExecute("Http://lorva.example/", "", "");
  handling.subExecute("mailto:support@lorva.example", "", "");
  handling.subExecute("MAILTO:x@y", "", "");
  EXPECT_EQ(shell.calls,
            (std::vector<std::string>{"open https://lorva.example/", "open Http://lorva.example/",
                                      "open mailto:support@lorva.example", "open MAILTO:x@y"}));
  EXPECT_EQ(reporter.fncGetCurrentStep(), "Attempting to execute MAILTO:x@y  ");
}

TEST_F(FileHandlingTest, ProgramsRunFromTheFolderOrTheProgramsOwnFolder) {
  FileHandling handling(services, shell, nullptr, nullptr);
  const std::string tool = Write("Tool", "#!/bin/sh\n");
  ::chmod(tool.c_str(), 0755);
  handling.subExecute("Tool", "--a \"b c\"", folder.string() + "/");
  EXPECT_EQ(shell.calls, std::vector<std::string>{"start " + tool + " [--a] [b c]"});
  EXPECT_EQ(reporter.fncGetCurrentStep(), "Attempting to execute the path '" + tool + "'");

  // Not in the folder: the program's own folder is tried; missing there too: the message.
  const std::string own = fs::read_symlink("/proc/self/exe").parent_path().string();
  handling.subExecute("NoSuchTool", "", folder.string());
  ASSERT_EQ(dialogs.shown().size(), 1u);
  EXPECT_EQ(dialogs.shown()[0].text, "Error trying to run the file at " + own + "/NoSuchTool\r\n");
  EXPECT_EQ(dialogs.shown()[0].style, 16);
  EXPECT_EQ(dialogs.shown()[0].title, "Lorva for Outlook");
  EXPECT_EQ(shell.calls.size(), 1u);

  // The program's own folder holds this test program itself.
  const std::string self = fs::read_symlink("/proc/self/exe").filename().string();
  handling.subExecute(self, "", "");
  EXPECT_EQ(shell.calls.back(), "start " + own + "/" + self);
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
  FileHandling handling(services, refusing, nullptr, nullptr);
  EXPECT_THROW(handling.subExecute("https://lorva.example/", "", ""), ProgramEnded);
  ASSERT_EQ(dialogs.shown().size(), 1u);
  EXPECT_NE(dialogs.shown()[0].text.find("This error has occured: :\r\n"
                                         "Attempting to execute https://lorva.example/  \r\n"),
            std::string::npos);
  EXPECT_NE(dialogs.shown()[0].text.find("Sub routine : modFileHandling.subExecute \r\n"),
            std::string::npos);
  EXPECT_EQ(endCalls, 1);
}

TEST(FncStripTrailingSlashTest, RemovesOneSeparatorOnly) {
  struct Case {
    std::string path, expected;
  };
  const Case cases[] = {
      {"", ""},
      {"/srv/kb", "/srv/kb"},
      {"/srv/kb/", "/srv/kb"},
      {"/srv/kb//", "/srv/kb/"},
      {"C:\\Apps\\", "C:\\Apps"},
      {"/", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("path: " + c.path);
    EXPECT_EQ(fncStripTrailingSlash(c.path), c.expected);
  }
}

TEST(FncGetVersionTest, PlainDecimalNumbers) {
  EXPECT_EQ(fncGetVersion(), "2.1.362");
}

}  // namespace
}  // namespace lorva
