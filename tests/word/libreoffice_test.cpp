// The LibreOffice stand-in for the word processor: one converter serves many documents, nothing
// of it outlives Quit or the object, a missing or failing LibreOffice is error 429, and a
// converter that stops answering is given up and its processes ended.
#include "platform/word/libreoffice_word.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "base/error.h"
#include "support_code/temp_folder.h"

namespace lorva::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
    const std::string html = ReadText(page);
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
  struct Case {
    const char* name;
    LibreOfficeOptions options;
  };
  LibreOfficeOptions missing;
  missing.soffice = dir_ / "no-such-soffice";
  LibreOfficeOptions noScript;
  noScript.soffice = failing.string();
  noScript.script = dir_ / "no-converter.py";
  LibreOfficeOptions neverReady;
  neverReady.soffice = "/bin/true";
  neverReady.interpreter = "/bin/sh";
  neverReady.script = dir_.Write("silent.sh", "sleep 1000\n");
  neverReady.startTimeout = 200ms;
  const Case cases[] = {{"missing program", missing},
                        {"missing converter", noScript},
                        {"converter that never gets ready", neverReady}};
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
  EXPECT_EQ(ProcessesRunning(neverReady.script), 0);
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
  options.script = dir_.Write("hanging.sh", kHangingConverter);
  options.commandTimeout = 300ms;
  LibreOfficeWord office(options);
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
