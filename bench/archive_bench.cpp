// How fast the archive runs turn a knowledge base into pages, compared with copying the result.
//
//   archive_bench [--items N]
//   archive_bench --make-store DIR [--items N] [--attachments]
//   archive_bench --flat-run STORE OUT
//
// The first form builds a mail store of N articles (default 10,000: about 10 KB of HTML each, 10
// categories x 10 types, no attachments) in a temporary directory, loads the window model over
// it, and times a flat run and a grouped run (every category and type ticked, collapsible
// outline) into fresh folders. Prints articles per second, the grouped/flat ratio, the peak
// resident memory of each run against the bytes of pages written, and the time `cp -r` takes to
// copy the flat output as a floor.
//
// The second form only builds such a store at DIR (its folder "Knowledge Base"), for timing the
// program's batch mode from outside and for floor_bench; with --attachments every article also
// carries a small text attachment and an inline picture that its body refers to by "cid:".
//
// The third form is the flat run alone over such a store, into OUT (overwriting, no attachments),
// without the window's start-up that fills the category and type lists: a process to time from
// outside against floor_bench.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/frm_main.h"
#include "app/program.h"
#include "bench/bench_util.h"
#include "outlook/connection.h"
#include "page/rich_text_route.h"
#include "platform/mailstore/msg_content.h"
#include "platform/mailstore/store.h"
#include "support/error_reporter.h"
#include "support/file_handling.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using lorva::outlook::Value;

using lorva::bench::ResetPeakRss;
using lorva::bench::StatusKb;

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

lorva::mailstore::MsgContent Article(int n, bool attachments) {
  lorva::mailstore::MsgContent content;
  content.messageClass = "IPM.Post";
  content.subject = "Article " + std::to_string(n) + ": printer shows offline";
  content.htmlBody = lorva::bench::ArticleHtml(n);
  content.userProperties = {{"Problem Category", Value::Text("Category " + std::to_string(n % 10))},
                            {"Problem Type", Value::Text("Type " + std::to_string((n / 10) % 10))}};
  if (attachments) {
    lorva::mailstore::MsgAttachment steps;
    steps.displayName = steps.longFileName = "steps-" + std::to_string(n) + ".txt";
    steps.mimeType = "text/plain";
    const std::string text(2048, 'x');
    steps.data.assign(text.begin(), text.end());
    lorva::mailstore::MsgAttachment picture;
    picture.displayName = picture.longFileName = "shot.gif";
    picture.mimeType = "image/gif";
    picture.contentId = "shot" + std::to_string(n) + "@kb";
    picture.hidden = true;
    const unsigned char gif[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0,   0, ',',
                                 0,   0,   0,   0,   1,   0,   1, 0, 0, 2, 1, 'D', 0, ';'};
    picture.data.assign(std::begin(gif), std::end(gif));
    content.attachments = {steps, picture};
    content.htmlBody->insert(content.htmlBody->find("</body>"),
                             "<img src=\"cid:" + picture.contentId + "\">");
  }
  return content;
}

// Builds a store of `items` articles at `storeRoot`; returns its size in bytes.
std::uintmax_t MakeStore(const fs::path& storeRoot, int items, bool attachments) {
  const fs::path folder = storeRoot / "Knowledge Base";
  fs::create_directories(folder);
  std::ofstream(folder / "folder.ini") << "[Folder]\nWebViewURL=http://intranet/kb/OLorva.htm\n";
  std::uintmax_t bytes = 0;
  for (int n = 1; n <= items; ++n) {
    lorva::bench::WriteArticleFile(folder, n, Article(n, attachments), bytes);
  }
  return bytes;
}

std::uintmax_t PageBytes(const fs::path& dir) {
  std::uintmax_t total = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.is_regular_file() && entry.path().extension() == ".htm") total += entry.file_size();
  }
  return total;
}

class NoPump : public lorva::platform::EventPump {
 public:
  void DoEvents() override {}
};

class NoShell : public lorva::platform::Shell {
 public:
  void Open(const std::string&) override {}
  void Start(const std::string&, const std::vector<std::string>&) override {}
};

// The program over a store: its window model, whose "Generate" runs into the folder set.
struct Bench {
  explicit Bench(const fs::path& storeRoot)
      : store(lorva::mailstore::MailStore::Open(storeRoot)),
        launcher(lorva::mailstore::MakeStoreLauncher(store)),
        reporter(dialogs, lorva::ErrorReporter::Hooks{[this] {
                                                        connection->subStartOutlook(6);
                                                        return connection->objOutlook;
                                                      },
                                                      [this] { connection->subEndProgram(); },
                                                      {}}),
        services{reporter, nullptr},
        files(services, shell, nullptr, [] {}),
        connection(std::make_unique<lorva::outlook::Connection>(services, *launcher, dialogs)),
        route(services),
        form(lorva::FormServices{services, files, *connection, dialogs, pump, route, nullptr}) {
    lorva::ShowStoreFolder(*store, "Knowledge Base");
  }

  std::shared_ptr<lorva::mailstore::MailStore> store;
  std::shared_ptr<lorva::outlook::ApplicationLauncher> launcher;
  lorva::bench::PrintingDialogs dialogs{lorva::platform::msgbox::kNo};
  NoPump pump;
  NoShell shell;
  lorva::ErrorReporter reporter;
  lorva::Services services;
  lorva::FileHandling files;
  std::unique_ptr<lorva::outlook::Connection> connection;
  lorva::UnavailableRichTextRoute route;
  lorva::frmMain form;
};

struct Result {
  double wall = 0;
  double cpu = 0;
  long peakGrowthKb = 0;
  std::uintmax_t pageBytes = 0;
  int pages = 0;
};

}  // namespace

int main(int argc, char** argv) {
  int items = 10000;
  const char* makeStore = nullptr;
  const char* flatRunStore = nullptr;
  const char* flatRunOut = nullptr;
  bool attachments = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--items") == 0 && i + 1 < argc) {
      items = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--make-store") == 0 && i + 1 < argc) {
      makeStore = argv[++i];
    } else if (std::strcmp(argv[i], "--attachments") == 0) {
      attachments = true;
    } else if (std::strcmp(argv[i], "--flat-run") == 0 && i + 2 < argc) {
      flatRunStore = argv[++i];
      flatRunOut = argv[++i];
    } else {
      std::fprintf(stderr,
                   "usage: archive_bench [--items N]\n"
                   "       archive_bench --make-store DIR [--items N] [--attachments]\n"
                   "       archive_bench --flat-run STORE OUT\n");
      return 64;
    }
  }
  Clock::time_point start = Clock::now();
  if (makeStore != nullptr) {
    const std::uintmax_t bytes = MakeStore(makeStore, items, attachments);
    std::printf("built %d items (%.1f MB) in %s/Knowledge Base in %.2f s\n", items, bytes / 1e6,
                makeStore, Since(start));
    return 0;
  }
  if (flatRunStore != nullptr) {
    Bench bench(flatRunStore);
    bench.files.subSetupFS();  // as the window's start-up does first
    fs::create_directories(flatRunOut);
    bench.form.txtDestination.SetText(flatRunOut);
    bench.form.optGroup.Select(1);
    bench.form.chkAttachments.SetValue(0);
    bench.form.chkOverwrite.SetValue(1);
    bench.form.chkRun.SetValue(0);
    bench.form.cmdGenerate_Click();
    std::printf("flat run: %d pages in %.2f s\n", bench.form.LastRun().pagesWritten, Since(start));
    return 0;
  }
  std::string pattern = (fs::temp_directory_path() / "lorva-archive-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return 1;
  const fs::path root = pattern;
  const fs::path storeRoot = root / "store";
  const std::uintmax_t storeBytes = MakeStore(storeRoot, items, attachments);
  std::printf("built %d items (%.1f MB) in %.2f s\n", items, storeBytes / 1e6, Since(start));

  Bench bench(storeRoot);
  lorva::frmMain& form = bench.form;
  start = Clock::now();
  form.Form_Load();
  std::printf("window load (lists filled): %.2f s\n", Since(start));
  form.chkAttachments.SetValue(0);

  // Each run works in a child process of its own, so that its peak memory is its own.
  auto run = [&](const char* name, int group) {
    const fs::path out = root / name;
    fs::create_directories(out);
    form.txtDestination.SetText(out.string());
    form.optGroup.Select(group);
    Result r;
    int channel[2];
    if (::pipe(channel) != 0) std::abort();
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
      const long before = StatusKb("VmRSS");
      ResetPeakRss();
      const double cpu = CpuSeconds();
      const Clock::time_point t = Clock::now();
      form.cmdGenerate_Click();
      r.wall = Since(t);
      r.cpu = CpuSeconds() - cpu;
      r.peakGrowthKb = StatusKb("VmHWM") - before;
      r.pages = form.LastRun().pagesWritten;
      if (::write(channel[1], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) ::_exit(1);
      ::_exit(0);
    }
    ::close(channel[1]);
    if (::read(channel[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) std::abort();
    ::close(channel[0]);
    ::waitpid(child, nullptr, 0);
    r.pageBytes = PageBytes(out);
    std::printf(
        "%-7s run: %d pages, %.1f MB of pages, %.2f s wall (%.0f articles/s), %.2f s processor "
        "(%.0f articles/s); peak memory growth %.1f MB = %.2f x page bytes\n",
        name, r.pages, r.pageBytes / 1e6, r.wall, r.pages / r.wall, r.cpu, r.pages / r.cpu,
        r.peakGrowthKb / 1024.0, r.peakGrowthKb * 1024.0 / static_cast<double>(r.pageBytes));
    return r;
  };

  const Result flat = run("flat", 1);
  const Result grouped = run("grouped", 0);
  std::printf("grouped / flat: %.2f wall, %.2f processor (target <= 2)\n", grouped.wall / flat.wall,
              grouped.cpu / flat.cpu);
  std::printf("peak memory growth per article: flat %.0f bytes, grouped %.0f bytes\n",
              flat.peakGrowthKb * 1024.0 / flat.pages,
              grouped.peakGrowthKb * 1024.0 / grouped.pages);
  std::printf(
      "targets: flat >= 5000 articles/s; peak memory independent of the articles' size (a few "
      "hundred bytes per article)\n");

  start = Clock::now();
  const std::string copy =
      "cp -r '" + (root / "flat").string() + "' '" + (root / "flat-copy").string() + "'";
  if (std::system(copy.c_str()) != 0) std::fprintf(stderr, "cp failed\n");
  const double cpTime = Since(start);
  std::printf("cp -r of the flat output: %.2f s (%.0f files/s); flat run / cp = %.2f\n", cpTime,
              flat.pages / cpTime, flat.wall / cpTime);

  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
