// The LibreOffice stand-in for the word processor: one converter serves many documents, nothing
// of it outlives Quit or the object, a missing or failing LibreOffice is error 429, and a
// converter that stops answering is given up and its processes ended.
#include "platform/word/libreoffice_word.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "base/error.h"

namespace lorva::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The command name of a process, from /proc.
std::string CommandOf(pid_t pid) {
  std::string name = ReadText("/proc/" + std::to_string(pid) + "/comm");
  while (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

// How many processes have `text` in their command line.
int ProcessesRunning(const std::string& text) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string line = ReadText(entry.path() / "cmdline");
    std::replace(line.begin(), line.end(), '\0', ' ');
    const std::string state = ReadText(entry.path() / "stat");
    const std::size_t close = state.rfind(')');
    if (close != std::string::npos && close + 2 < state.size() && state[close + 2] == 'Z') continue;
    if (line.find(text) != std::string::npos) ++count;
  }
  return count;
}

// A rich-text document holding `text` and, when `withPicture`, a small PNG picture.
std::string MakeRtf(const std::string& text, bool withPicture) {
  std::string rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard " + text + "\\par\n";
  if (withPicture) {
    QImage image(24, 16, QImage::Format_RGB32);
    image.fill(qRgb(200, 30, 30));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    rtf += "\\pard {\\pict\\pngblip\\picw24\\pich16\\picwgoal360\\pichgoal240 " +
           png.toHex().toStdString() + "}\\par\n";
  }
  return rtf + "}";
}

class WithTempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("lorva-lo-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path WriteFile(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return dir_ / name;
  }

  fs::path dir_;
};

class RealLibreOffice : public WithTempDir {
 protected:
  void SetUp() override {
    const char* configured = std::getenv("LORVA_SOFFICE");
    if (FindProgram(configured && *configured ? configured : "soffice").empty()) {
      GTEST_SKIP() << "LibreOffice is not installed";
    }
    WithTempDir::SetUp();
  }
};

TEST_F(RealLibreOffice, OneConverterServesSeveralDocumentsAndNothingRemainsAfterQuit) {
  LibreOfficeWordFactory factory;
  std::shared_ptr<WordApplication> app = factory.Create();
  auto& office = static_cast<LibreOfficeWord&>(*app);
  const pid_t group = office.ProcessGroup();
  const std::string profile = office.ProfileDirectory();
  ASSERT_GT(group, 0);
  EXPECT_TRUE(fs::is_directory(profile));
  bool officeInGroup = false;
  for (pid_t pid : LiveProcessesInGroup(group)) {
    if (CommandOf(pid).rfind("soffice", 0) == 0) officeInGroup = true;
  }
  EXPECT_TRUE(officeInGroup) << "LibreOffice runs in the converter's process group";

  app->SetVisible(false);
  for (int n = 1; n <= 3; ++n) {
    SCOPED_TRACE("document " + std::to_string(n));
    const fs::path rtf = WriteFile(std::to_string(n) + ".rtf",
                                   MakeRtf("Article number " + std::to_string(n), n == 2));
    const fs::path page = dir_ / (std::to_string(n) + ".htm");
    auto doc = app->Open(rtf.string());
    ASSERT_NE(doc, nullptr);
    doc->SaveAs(page.string(), kWordFormatFilteredHtml);
    doc->Close(kWordDoNotSaveChanges);
    const std::string html = ReadText(page);
    EXPECT_NE(html.find("Article number " + std::to_string(n)), std::string::npos) << html;
    if (n == 2) {  // the picture is written beside the page and the page shows it
      std::smatch source;
      ASSERT_TRUE(std::regex_search(html, source, std::regex("<img src=\"([^\"]+)\""))) << html;
      EXPECT_TRUE(fs::exists(dir_ / source[1].str())) << source[1].str();
    }
  }
  EXPECT_EQ(office.Starts(), 1);
  EXPECT_EQ(factory.Created(), 1);
  EXPECT_EQ(office.ProcessGroup(), group);

  app->Quit();
  EXPECT_TRUE(LiveProcessesInGroup(group).empty());
  EXPECT_FALSE(fs::exists(profile)) << "the private profile is removed";
  EXPECT_THROW(app->Open(WriteFile("late.rtf", MakeRtf("late", false)).string()), Error);
}

TEST_F(RealLibreOffice, DroppingTheApplicationEndsLibreOffice) {
  pid_t group = 0;
  std::string profile;
  {
    LibreOfficeWord office(LibreOfficeOptions{});
    group = office.ProcessGroup();
    profile = office.ProfileDirectory();
    ASSERT_FALSE(LiveProcessesInGroup(group).empty());
  }
  EXPECT_TRUE(LiveProcessesInGroup(group).empty());
  EXPECT_FALSE(fs::exists(profile));
}

// A document fails whether it cannot be read when opened or cannot be loaded when saved; it
// leaves no page, and the same LibreOffice converts the next document.
TEST_F(RealLibreOffice, UnreadableDocumentFailsAndTheConverterGoesOn) {
  fs::create_directory(dir_ / "folder.rtf");
  struct Case {
    const char* name;
    fs::path path;
  };
  const Case cases[] = {
      {"missing file", dir_ / "missing.rtf"},
      {"folder", dir_ / "folder.rtf"},
      {"rich text broken off", WriteFile("broken.rtf", "{\\rtf1\\ansi broken {\\b off")},
  };
  LibreOfficeWord office(LibreOfficeOptions{});
  const fs::path page = dir_ / "failed.htm";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto convert = [&] {
      auto doc = office.Open(c.path.string());
      doc->SaveAs(page.string(), kWordFormatFilteredHtml);
    };
    EXPECT_THROW(convert(), Error);
    EXPECT_FALSE(fs::exists(page));
  }
  const fs::path rtf = WriteFile("ok.rtf", MakeRtf("still working", false));
  auto doc = office.Open(rtf.string());
  doc->SaveAs((dir_ / "ok.htm").string(), kWordFormatFilteredHtml);
  doc->Close(kWordDoNotSaveChanges);
  EXPECT_NE(ReadText(dir_ / "ok.htm").find("still working"), std::string::npos);
  EXPECT_EQ(office.Starts(), 1);
}

// Rich text goes straight to the rich-text import; a file of another kind under the same name
// is still converted as what it is.
TEST_F(RealLibreOffice, FileOfAnyKindBecomesAPageWithItsText) {
  struct Case {
    const char* name;
    std::string content;
  };
  const Case cases[] = {
      {"rich text", MakeRtf("Printer offline", false)},
      {"plain text", "Printer offline\n"},
      {"HTML", "<html><body><p>Printer offline</p></body></html>"},
  };
  LibreOfficeWord office(LibreOfficeOptions{});
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = std::to_string(++n);
    auto doc = office.Open(WriteFile(name + ".rtf", c.content).string());
    doc->SaveAs((dir_ / (name + ".htm")).string(), kWordFormatFilteredHtml);
    doc->Close(kWordDoNotSaveChanges);
    const std::string html = ReadText(dir_ / (name + ".htm"));
    EXPECT_NE(html.find("Printer offline"), std::string::npos) << html;
  }
}

// Creation fails as error 429 whenever LibreOffice cannot be had: a missing program (also when
// named by LORVA_SOFFICE), a program that ends at once, a missing interpreter or converter.
TEST_F(WithTempDir, LibreOfficeThatCannotBeStartedIsError429) {
  const fs::path failing = WriteFile("failing-office", "#!/bin/sh\nexit 1\n");
  fs::permissions(failing, fs::perms::owner_all);
  struct Case {
    const char* name;
    LibreOfficeOptions options;
  };
  LibreOfficeOptions missing;
  missing.soffice = (dir_ / "no-such-soffice").string();
  LibreOfficeOptions notOnPath;
  notOnPath.soffice = "lorva-no-such-office-program";
  LibreOfficeOptions endsAtOnce;
  endsAtOnce.soffice = failing.string();
  endsAtOnce.startTimeout = 20s;
  LibreOfficeOptions noInterpreter;
  noInterpreter.soffice = failing.string();
  noInterpreter.interpreter = (dir_ / "no-python").string();
  LibreOfficeOptions noScript;
  noScript.soffice = failing.string();
  noScript.script = (dir_ / "no-converter.py").string();
  const Case cases[] = {{"missing program", missing},
                        {"program not on the path", notOnPath},
                        {"program that ends at once", endsAtOnce},
                        {"missing interpreter", noInterpreter},
                        {"missing converter", noScript}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LibreOfficeWordFactory factory(c.options);
    try {
      factory.Create();
      ADD_FAILURE() << "created";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), errnum::kCannotCreateObject) << error.description();
    }
    EXPECT_EQ(factory.Created(), 0);
  }

  ::setenv("LORVA_SOFFICE", missing.soffice.c_str(), 1);
  try {
    LibreOfficeWordFactory().Create();
    ADD_FAILURE() << "created";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kCannotCreateObject);
  }
  ::unsetenv("LORVA_SOFFICE");
}

// A stand-in converter script run by /bin/sh: answers "ready", then on a conversion writes part
// of the page and stops answering (and keeps a child process busy).
constexpr const char* kHangingConverter = R"sh(echo ready
while read -r command a b; do
  case "$command" in
    convert) echo partial > "${b#file://}"; sleep 1237; echo ok ;;
    quit) echo ok; exit 0 ;;
  esac
done
)sh";

TEST_F(WithTempDir, ConverterThatStopsAnsweringIsGivenUpAndItsProcessesEnded) {
  LibreOfficeOptions options;
  options.soffice = "/bin/true";
  options.interpreter = "/bin/sh";
  options.script = WriteFile("hanging.sh", kHangingConverter).string();
  options.commandTimeout = 300ms;
  LibreOfficeWord office(options);
  const pid_t group = office.ProcessGroup();
  const std::string profile = office.ProfileDirectory();

  auto doc = office.Open(WriteFile("a.rtf", "{\\rtf1 a}").string());
  const fs::path page = dir_ / "a.htm";
  EXPECT_THROW(doc->SaveAs(page.string(), kWordFormatFilteredHtml), Error);
  EXPECT_FALSE(fs::exists(page)) << "a page broken off is not left behind";
  EXPECT_TRUE(LiveProcessesInGroup(group).empty()) << "the converter and its children ended";
  EXPECT_EQ(ProcessesRunning("sleep 1237"), 0) << "the hanging command ended too";
  EXPECT_FALSE(fs::exists(profile));
  EXPECT_NO_THROW(doc->Close(kWordDoNotSaveChanges)) << "nothing left to close";

  // The next document starts a new converter.
  auto next = office.Open(WriteFile("b.rtf", "{\\rtf1 b}").string());
  EXPECT_NE(next, nullptr);
  EXPECT_EQ(office.Starts(), 2);
  EXPECT_NE(office.ProcessGroup(), group);
  EXPECT_THROW(doc->SaveAs(page.string(), kWordFormatFilteredHtml), Error)
      << "a document of the ended converter is gone";
}

TEST_F(WithTempDir, ConverterThatNeverGetsReadyIsError429AndLeavesNoProcess) {
  LibreOfficeOptions options;
  options.soffice = "/bin/true";
  options.interpreter = "/bin/sh";
  options.script = WriteFile("silent.sh", "sleep 1000\n").string();
  options.startTimeout = 200ms;
  try {
    LibreOfficeWord office(options);
    ADD_FAILURE() << "started";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kCannotCreateObject);
  }
  EXPECT_EQ(ProcessesRunning(options.script), 0);
}

TEST(FileUrl, PercentEncodesEverythingButPlainNameCharacters) {
  EXPECT_EQ(FileUrl("/tmp/a b/1001.rtf"), "file:///tmp/a%20b/1001.rtf");
  EXPECT_EQ(FileUrl("/x/%#?'\xC3\xA9"), "file:///x/%25%23%3F%27%C3%A9");
}

}  // namespace
}  // namespace lorva::platform
