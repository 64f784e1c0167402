// The LibreOffice stand-in for the word processor: one converter serves many documents, nothing
// of it outlives Quit or the object, a missing or failing LibreOffice is error 429, and a
// converter that stops answering is given up and its processes ended.
#include "platform/word/libreoffice_word.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>

#include "base/error.h"
#include "support_code/temp_folder.h"

namespace lorva::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// How many live (not zombie) processes have `text` in their command line.
int ProcessesRunning(const std::string& text) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    if (entry.path().filename().string().find_first_not_of("0123456789") != std::string::npos)
      continue;
    std::string line = lorva::testing::TempFolder::Read(entry.path() / "cmdline");
    std::replace(line.begin(), line.end(), '\0', ' ');
    const std::string state = lorva::testing::TempFolder::Read(entry.path() / "stat");
    const std::size_t close = state.rfind(')');
    const bool zombie = close != std::string::npos && state.substr(close + 1, 3) == " Z ";
    count += !zombie && line.find(text) != std::string::npos;
  }
  return count;
}

// A rich-text document holding `text` and, when `withPicture`, a red 2x2 PNG picture.
std::string MakeRtf(const std::string& text, bool withPicture) {
  const std::string picture =
      "\\pard {\\pict\\pngblip\\picw2\\pich2\\picwgoal360\\pichgoal240 "
      "89504e470d0a1a0a0000000d4948445200000002000000020802000000fdd49a730000001049444154"
      "78da6338212707440c100a001f2604114a8e8d200000000049454e44ae426082}\\par\n";
  return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard " + text + "\\par\n" +
         (withPicture ? picture : "") + "}";
}

class WithTempDir : public ::testing::Test {
 protected:
  lorva::testing::TempFolder dir_;
};

class RealLibreOffice : public WithTempDir {
 protected:
  void SetUp() override {
    const char* configured = std::getenv("LORVA_SOFFICE");
    if (FindProgram(configured && *configured ? configured : "soffice").empty()) {
      GTEST_SKIP() << "LibreOffice is not installed";
    }
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

  app->SetVisible(false);
  for (int n = 1; n <= 3; ++n) {
    SCOPED_TRACE("document " + std::to_string(n));
    const fs::path rtf = dir_.Write(std::to_string(n) + ".rtf",
                                    MakeRtf("Article number " + std::to_string(n), n == 2));
    const fs::path page = dir_.path() / (std::to_string(n) + ".htm");
    auto doc = app->Open(rtf.string());
    ASSERT_NE(doc, nullptr);
    doc->SaveAs(page.string(), kWordFormatFilteredHtml);
    doc->Close(kWordDoNotSaveChanges);
    const std::string html = lorva::testing::TempFolder::Read(page);
    EXPECT_NE(html.find("Article number " + std::to_string(n)), std::string::npos) << html;
    if (n == 2) {  // the picture is written beside the page and the page shows it
      std::smatch source;
      ASSERT_TRUE(std::regex_search(html, source, std::regex("<img src=\"([^\"]+)\""))) << html;
      EXPECT_TRUE(fs::exists(dir_.path() / source[1].str())) << source[1].str();
    }
  }
  EXPECT_EQ(office.Starts(), 1);
  EXPECT_EQ(factory.Created(), 1);
  EXPECT_EQ(office.ProcessGroup(), group);

  app->Quit();
  EXPECT_TRUE(LiveProcessesInGroup(group).empty());
  EXPECT_EQ(ProcessesRunning(profile), 0) << "LibreOffice ended too, in the group or not";
  EXPECT_FALSE(fs::exists(profile)) << "the private profile is removed";
  EXPECT_THROW(app->Open(dir_.Write("late.rtf", MakeRtf("late", false))), Error);
}

// Creation fails as error 429 whenever LibreOffice cannot be had: a missing program, a missing
// converter, a converter that never gets ready (which leaves no process behind).
TEST_F(WithTempDir, LibreOfficeThatCannotBeStartedIsError429) {
  const fs::path failing = dir_.Write("failing-office", "#!/bin/sh\nexit 1\n");
  fs::permissions(failing, fs::perms::owner_all);
  const std::string silent = dir_.Write("silent.sh", "sleep 1000\n");
  const struct {
    const char* name;
    std::string soffice, interpreter, script;
  } cases[] = {{"missing program", dir_ / "no-such-soffice", "/usr/bin/python3", ""},
               {"missing converter", failing, "/usr/bin/python3", dir_ / "no-converter.py"},
               {"converter that never gets ready", "/bin/true", "/bin/sh", silent}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LibreOfficeWordFactory factory(
        LibreOfficeOptions{c.soffice, c.interpreter, c.script, 200ms, 60000ms});
    try {
      factory.Create();
      ADD_FAILURE() << "created";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), errnum::kCannotCreateObject) << error.description();
    }
    EXPECT_EQ(factory.Created(), 0);
  }
  EXPECT_EQ(ProcessesRunning(silent), 0);
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
  LibreOfficeWord office(LibreOfficeOptions{
      "/bin/true", "/bin/sh", dir_.Write("hanging.sh", kHangingConverter), 60000ms, 300ms});
  const pid_t group = office.ProcessGroup();
  const std::string profile = office.ProfileDirectory();

  auto doc = office.Open(dir_.Write("a.rtf", "{\\rtf1 a}"));
  const fs::path page = dir_ / "a.htm";
  EXPECT_THROW(doc->SaveAs(page.string(), kWordFormatFilteredHtml), Error);
  EXPECT_FALSE(fs::exists(page)) << "a page broken off is not left behind";
  EXPECT_TRUE(LiveProcessesInGroup(group).empty()) << "the converter and its children ended";
  EXPECT_EQ(ProcessesRunning("sleep 1237"), 0) << "the hanging command ended too";
  EXPECT_FALSE(fs::exists(profile));
  EXPECT_NO_THROW(doc->Close(kWordDoNotSaveChanges)) << "nothing left to close";

  // The next document starts a new converter.
  auto next = office.Open(dir_.Write("b.rtf", "{\\rtf1 b}"));
  EXPECT_NE(next, nullptr);
  EXPECT_EQ(office.Starts(), 2);
  EXPECT_NE(office.ProcessGroup(), group);
  EXPECT_THROW(doc->SaveAs(page.string(), kWordFormatFilteredHtml), Error)
      << "a document of the ended converter is gone";
}

TEST(FileUrl, PercentEncodesEverythingButPlainNameCharacters) {
  EXPECT_EQ(FileUrl("/tmp/a b/1001.rtf"), "file:///tmp/a%20b/1001.rtf");
  EXPECT_EQ(FileUrl("/x/%#?'\xC3\xA9"), "file:///x/%25%23%3F%27%C3%A9");
}

}  // namespace
}  // namespace lorva::platform
