// The rich-text route against LibreOffice's own batch conversion, over the same genuine
// rich-text articles (fonts, bold and italic, a list, a table, a picture; about 10 KB each).
//
// Usage:
//   rich_text_bench [articles = 300]      writes the articles, times the route and one
//                                         soffice --headless --convert-to html over them
//                                         (each with a fresh profile), prints the ratio
//   rich_text_bench write DIR [articles]  writes the articles as DIR/<n>.rtf
//   rich_text_bench route DIR             the route over DIR/*.rtf, LibreOffice's start included;
//                                         prints the time of each step of the word processor
//                                         (open, save, close) per article
//   rich_text_bench soffice DIR           one soffice --convert-to html over DIR/*.rtf with a
//                                         fresh profile
// The last two time whole processes when run under an outside timer, one after the other.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/files.h"
#include "bench/bench_util.h"
#include "page/office_route.h"
#include "platform/imaging/qt/qt_image_converter.h"
#include "platform/word/libreoffice_word.h"
#include "support/error_reporter.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace lorva;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// A small diagram as PNG bytes, different for each article.
std::string Picture(int n) {
  QImage image(160, 90, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setPen(QColor::fromHsv((n * 37) % 360, 200, 160));
  painter.setBrush(QColor::fromHsv((n * 37) % 360, 80, 240));
  painter.drawRect(10, 10, 60, 40);
  painter.drawEllipse(90, 30, 50, 40);
  painter.drawLine(70, 30, 90, 50);
  for (int bar = 0; bar <= n % 9; ++bar) painter.drawRect(12 + bar * 8, 60, 5, 20);
  painter.end();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toHex().toStdString();
}

// One knowledge-base article as genuine rich text of about 10 KB.
std::string ArticleRtf(int n) {
  const std::string number = std::to_string(n);
  std::string rtf =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033"
      "{\\fonttbl{\\f0\\froman\\fprq2\\fcharset0 Times New Roman;}"
      "{\\f1\\fswiss\\fprq2\\fcharset0 Arial;}{\\f2\\fmodern\\fprq1\\fcharset0 Courier New;}"
      "{\\f3\\fnil\\fprq2\\fcharset2 Symbol;}}\r\n"
      "{\\colortbl;\\red0\\green0\\blue0;\\red192\\green0\\blue0;\\red0\\green64\\blue160;}\r\n"
      "{\\info{\\title Article " +
      number + "}{\\author Support}}\r\n\\viewkind4\\uc1\r\n";
  rtf += "\\pard\\sb240\\sa120\\keepn\\f1\\fs32\\b\\cf3 Article " + number +
         ": the printer stays offline after an update\\cf0\\b0\\fs20\\par\r\n";
  const std::string sentences[] = {
      "When the printer on floor {\\b " + std::to_string(n % 7) +
          "} shows {\\i Offline}, open the print queue and clear {\\b\\i Use Printer Offline}. ",
      "If the queue holds jobs that will not go, {\\ul cancel them all} before you print a test "
      "page from the printer's own properties. ",
      "Should that not help, restart the spooler service with {\\f2 net stop spooler} and "
      "{\\f2 net start spooler} from an elevated prompt. ",
      "{\\cf2\\b Do not} remove the printer driver unless the vendor's support asks for it: the "
      "shared settings of the whole floor go with it. ",
  };
  int paragraph = 0;
  while (rtf.size() < 6400) {
    rtf += "\\pard\\sa120\\f0\\fs22 ";
    for (int i = 0; i < 4; ++i) rtf += sentences[(paragraph + i) % 4];
    rtf += "\\par\r\n";
    ++paragraph;
  }
  for (const char* step : {"Open {\\b Devices and Printers}.",
                           "Right-click the printer and choose {\\i See what's "
                           "printing}.",
                           "Clear {\\b Use Printer Offline} in the {\\b Printer} menu."}) {
    rtf += "\\pard\\fi-360\\li720\\sa60{\\f3\\'b7}\\tab\\f0\\fs22 ";
    rtf += step;
    rtf += "\\par\r\n";
  }
  rtf += "\\pard\\sa120\\par\r\n";
  const char* const rows[][3] = {{"Setting", "Before", "After"},
                                 {"Spooler", "Stopped", "Running"},
                                 {"Queue", "12 jobs", "empty"},
                                 {"Driver", "4.2", "4.2 (kept)"}};
  bool heading = true;
  for (const auto& row : rows) {
    rtf +=
        "\\trowd\\trgaph108\\trleft-108"
        "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10"
        "\\clbrdrr\\brdrs\\brdrw10\\cellx3000"
        "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10"
        "\\clbrdrr\\brdrs\\brdrw10\\cellx6000"
        "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10"
        "\\clbrdrr\\brdrs\\brdrw10\\cellx9000\r\n";
    for (const char* cell : row) {
      rtf += "\\pard\\intbl\\f1\\fs20 ";
      rtf += heading ? std::string("{\\b ") + cell + "}" : std::string(cell);
      rtf += "\\cell ";
    }
    rtf += "\\row\r\n";
    heading = false;
  }
  rtf +=
      "\\pard\\sa120\\par\r\n\\pard\\qc{\\pict\\pngblip\\picw160\\pich90"
      "\\picwgoal2400\\pichgoal1350\r\n" +
      Picture(n) + "}\\par\r\n";
  rtf += "\\pard\\sa120\\f0\\fs22 Last checked for article " + number +
         "; {\\i see also} the {\\b network} articles.\\par\r\n}";
  return rtf;
}

std::vector<fs::path> RtfFiles(const fs::path& dir) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() == ".rtf") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

void WriteArticles(const fs::path& dir, int articles) {
  fs::create_directories(dir);
  std::uintmax_t bytes = 0;
  for (int n = 1; n <= articles; ++n) {
    const std::string rtf = ArticleRtf(n);
    std::ofstream(dir / (std::to_string(1000 + n) + ".rtf"), std::ios::binary) << rtf;
    bytes += rtf.size();
  }
  std::printf("%d articles, %.1f KB each on average, in %s\n", articles,
              static_cast<double>(bytes) / articles / 1024, dir.c_str());
}

// The time the word processor takes per step, summed over the run.
struct Phases {
  double start = 0, open = 0, save = 0, close = 0, quit = 0;
  int documents = 0;
};

class TimedDocument : public platform::WordDocument {
 public:
  TimedDocument(std::shared_ptr<platform::WordDocument> inner, Phases& phases)
      : inner_(std::move(inner)), phases_(phases) {}
  void SaveAs(const std::string& path, int format) override {
    const auto begin = Clock::now();
    inner_->SaveAs(path, format);
    phases_.save += Seconds(Clock::now() - begin);
  }
  void Close(int saveChanges) override {
    const auto begin = Clock::now();
    inner_->Close(saveChanges);
    phases_.close += Seconds(Clock::now() - begin);
  }

 private:
  std::shared_ptr<platform::WordDocument> inner_;
  Phases& phases_;
};

class TimedWord : public platform::WordApplication {
 public:
  TimedWord(std::shared_ptr<platform::WordApplication> inner, Phases& phases)
      : inner_(std::move(inner)), phases_(phases) {}
  void SetVisible(bool visible) override { inner_->SetVisible(visible); }
  std::shared_ptr<platform::WordDocument> Open(const std::string& path) override {
    const auto begin = Clock::now();
    auto document = inner_->Open(path);
    phases_.open += Seconds(Clock::now() - begin);
    ++phases_.documents;
    return std::make_shared<TimedDocument>(std::move(document), phases_);
  }
  void Quit() override {
    const auto begin = Clock::now();
    inner_->Quit();
    phases_.quit += Seconds(Clock::now() - begin);
  }

 private:
  std::shared_ptr<platform::WordApplication> inner_;
  Phases& phases_;
};

class TimedWordFactory : public platform::WordFactory {
 public:
  explicit TimedWordFactory(Phases& phases) : phases_(phases) {}
  std::shared_ptr<platform::WordApplication> Create() override {
    const auto begin = Clock::now();
    auto app = inner_.Create();
    phases_.start += Seconds(Clock::now() - begin);
    return std::make_shared<TimedWord>(std::move(app), phases_);
  }

 private:
  platform::LibreOfficeWordFactory inner_;
  Phases& phases_;
};

class Item : public outlook::OutlookItem {
 public:
  explicit Item(fs::path rtf) : rtf_(std::move(rtf)) {}
  outlook::ItemClass Class() override { return outlook::ItemClass::kPost; }
  std::string MessageClass() override { return "IPM.Post"; }
  std::string Subject() override { return rtf_.stem().string(); }
  std::string HTMLBody() override { return ""; }
  void SaveAs(const std::string& path, int) override { fs::copy_file(rtf_, path); }
  std::shared_ptr<outlook::UserPropertyCollection> UserProperties() override { return nullptr; }
  std::shared_ptr<outlook::AttachmentCollection> Attachments() override { return nullptr; }

 private:
  fs::path rtf_;
};

fs::path FreshFolder(const std::string& name) {
  const fs::path dir =
      fs::temp_directory_path() / ("lorva-bench-" + std::to_string(::getpid()) + "-" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

// The route the way a run takes it per article: the item's rich-text copy, the conversion, the
// page read back and cut, the conversion page removed by the attachment export. Returns the
// number of pages written.
int RunRoute(const fs::path& articles, double& seconds) {
  const std::vector<fs::path> files = RtfFiles(articles);
  const fs::path destination = FreshFolder("route");
  fs::create_directory(destination / "Images");
  bench::PrintingDialogs dialogs;
  ErrorReporter reporter(dialogs, {});
  Services services{reporter, std::make_shared<FileSystemObject>()};
  platform::QtImageConverter images;
  Phases phases;
  TimedWordFactory factory(phases);
  int converted = 0;
  double rest = 0;
  const auto begin = Clock::now();
  {
    OfficeRoute route(services, factory, images);
    std::int16_t counter = 1;
    for (const fs::path& file : files) {
      Item item(file);
      const std::string n = std::to_string(counter);
      const std::string rtf = (destination / "Images" / (n + ".rtf")).string();
      const std::string target = (destination / (n + ".htm")).string();
      item.SaveAs(rtf, 1);
      const auto stepBegin = Clock::now();
      const double inWord = phases.open + phases.save + phases.close + phases.start;
      if (route.ConvertRTF2HTML(rtf, target) && fs::exists(target)) {
        const std::string html(ReadWholeFile(target).view());
        converted += !route.FilteredWordHTML(html).empty();
      }
      std::vector<std::string> unreadable;
      route.SaveAttachments(item, destination.string(), counter, unreadable);
      rest += Seconds(Clock::now() - stepBegin) -
              (phases.open + phases.save + phases.close + phases.start - inWord);
      ++counter;
    }
    route.QuitWord();
  }
  seconds = Seconds(Clock::now() - begin);
  fs::remove_all(destination);
  const int count = std::max(phases.documents, 1);
  std::printf("route: %zu articles, %d converted, %.2f s in all (start %.2f s, quit %.2f s)\n",
              files.size(), converted, seconds, phases.start, phases.quit);
  std::printf(
      "  per article: open %.2f ms, save %.2f ms, close %.2f ms, the rest %.2f ms; "
      "%.2f ms after the start\n",
      1000 * phases.open / count, 1000 * phases.save / count, 1000 * phases.close / count,
      1000 * rest / count, 1000 * (seconds - phases.start - phases.quit) / count);
  return converted;
}

// Runs `args` and waits for it; its exit status, -1 when it could not be started.
int Run(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int status = -1;
  if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    ::waitpid(pid, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One soffice --headless --convert-to html over every article, with a fresh profile. The
// launcher hands LibreOffice at most 247 file names and silently drops the rest, so LibreOffice's
// own program is started the way the launcher starts it: once more when it asks for a restart
// (status 81, after making the fresh profile).
int RunSoffice(const fs::path& articles, double& seconds) {
  const std::vector<fs::path> files = RtfFiles(articles);
  const fs::path out = FreshFolder("soffice");
  const fs::path profile = FreshFolder("profile");
  const char* configured = std::getenv("LORVA_SOFFICE");
  std::string soffice = platform::FindProgram(configured && *configured ? configured : "soffice");
  std::error_code error;
  const fs::path program = fs::canonical(soffice, error).parent_path() / "soffice.bin";
  if (!error && fs::exists(program)) soffice = program.string();
  std::vector<std::string> args = {
      soffice,      "-env:UserInstallation=" + platform::FileUrl(profile.string()),
      "--headless", "--convert-to",
      "html",       "--outdir",
      out.string()};
  for (const fs::path& file : files) args.push_back(file.string());

  const auto begin = Clock::now();
  constexpr int kRestartRequested = 81;
  for (int tries = 0; tries < 3 && Run(args) == kRestartRequested; ++tries) {
  }
  seconds = Seconds(Clock::now() - begin);
  int converted = 0;
  for (const auto& entry : fs::directory_iterator(out)) {
    converted += entry.path().extension() == ".html";
  }
  fs::remove_all(out);
  fs::remove_all(profile);
  std::printf("soffice --convert-to html: %zu articles, %d converted, %.2f s in all\n",
              files.size(), converted, seconds);
  return converted;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  const char* configured = std::getenv("LORVA_SOFFICE");
  if (platform::FindProgram(configured && *configured ? configured : "soffice").empty()) {
    std::fprintf(stderr, "LibreOffice is not installed\n");
    return 1;
  }
  double seconds = 0;
  if (mode == "write" && argc > 2) {
    WriteArticles(argv[2], argc > 3 ? std::atoi(argv[3]) : 300);
    return 0;
  }
  if (mode == "route" && argc > 2) {
    return RunRoute(argv[2], seconds) == static_cast<int>(RtfFiles(argv[2]).size()) ? 0 : 1;
  }
  if (mode == "soffice" && argc > 2) {
    return RunSoffice(argv[2], seconds) == static_cast<int>(RtfFiles(argv[2]).size()) ? 0 : 1;
  }
  if (!mode.empty() && mode.find_first_not_of("0123456789") != std::string::npos) {
    std::fprintf(stderr,
                 "usage: rich_text_bench [articles] | write DIR [articles] | route DIR | "
                 "soffice DIR\n");
    return 2;
  }

  const int articles = mode.empty() ? 300 : std::atoi(mode.c_str());
  const fs::path dir = FreshFolder("articles");
  WriteArticles(dir, articles);
  double route = 0, soffice = 0;
  const int routeConverted = RunRoute(dir, route);
  const int sofficeConverted = RunSoffice(dir, soffice);
  fs::remove_all(dir);
  std::printf("ratio (route / soffice --convert-to), start-up included: %.2f\n", route / soffice);
  return routeConverted == articles && sofficeConverted == articles ? 0 : 1;
}
