// How fast the mail store enumerates a knowledge base, compared with reading the same files.
//
//   mailstore_bench [--items N] [--attachment-kb K] [--rounds R] [--phase all|lists|run]
//                   [--store DIR | --build DIR]
//
// Builds a store of N articles (default 10,000: about 10 KB of HTML each, two user properties,
// one attachment of K KiB, default 2) in a temporary directory, then enumerates the folder R times
// (default 3) in each of two ways:
//   lists  as the start-up fills the category and type lists: the item's class and its two user
//          properties, nothing else;
//   run    as an archive run reads an article: Subject, both user properties and HTMLBody.
// Prints the best round of each in items per second, the ratio to reading the files' bytes alone
// (warm page cache), and how much the resident memory grew while enumerating.
//
// --build DIR writes the store into DIR and stops; --store DIR reads the store built there
// instead of building one. With --phase a single way is timed, so that the whole process can be
// timed, or traced (`strace -f -e trace=openat`) to count the files opened per item.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "platform/mailstore/msg_content.h"
#include "platform/mailstore/store.h"
#include "platform/outlook/object_model.h"

namespace fs = std::filesystem;
using lorva::mailstore::MsgAttachment;
using lorva::mailstore::MsgContent;
using lorva::outlook::OutlookItem;
using lorva::outlook::Value;
using Clock = std::chrono::steady_clock;

using lorva::bench::ArticleHtml;
using lorva::bench::ResetPeakRss;
using lorva::bench::StatusKb;

namespace {

constexpr char kFolder[] = "Knowledge Base";

MsgContent Article(int n, int attachmentKb) {
  MsgContent content;
  content.messageClass = "IPM.Post";
  content.subject = "Article " + std::to_string(n) + ": printer shows offline";
  content.htmlBody = ArticleHtml(n);
  content.userProperties = {{"Problem Category", Value::Text("Category " + std::to_string(n % 4))},
                            {"Problem Type", Value::Text("Type " + std::to_string(n % 5))}};
  MsgAttachment attachment;
  attachment.longFileName = "steps-" + std::to_string(n) + ".txt";
  attachment.displayName = attachment.longFileName;
  attachment.mimeType = "text/plain";
  const std::string text(static_cast<std::size_t>(attachmentKb) * 1024, 'x');
  attachment.data.assign(text.begin(), text.end());
  content.attachments = {attachment};
  return content;
}

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The processor time (user and system) the process has used so far, in seconds. On a shared
// machine it measures the work done better than the wall clock does.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::size_t ReadAllBytes(const std::vector<fs::path>& files) {
  std::size_t total = 0;
  std::vector<char> buffer;
  for (const fs::path& file : files) {
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (f == nullptr) std::abort();
    buffer.resize(static_cast<std::size_t>(fs::file_size(file)));
    total += std::fread(buffer.data(), 1, buffer.size(), f);
    std::fclose(f);
  }
  return total;
}

std::string Text(OutlookItem& item, const char* property) {
  std::shared_ptr<lorva::outlook::UserProperty> found = item.UserProperties()->Find(property);
  return found ? found->GetValue().AsText() : std::string();
}

// What the list filling reads of an item: its class (taken as a post item) and its two user
// properties.
std::size_t ReadForLists(OutlookItem& item) {
  if (item.Class() != lorva::outlook::ItemClass::kPost) std::abort();
  return Text(item, "Problem Type").size() + Text(item, "Problem Category").size();
}

// What a run reads of an article.
std::size_t ReadForRun(OutlookItem& item) {
  return item.Subject().size() + Text(item, "Problem Type").size() +
         Text(item, "Problem Category").size() + item.HTMLBody().size();
}

struct Timing {
  double wall = 1e9;
  double cpu = 1e9;
  long rssBefore = 0;
  long peak = 0;
};

Timing Enumerate(lorva::mailstore::MailStore& store, int rounds,
                 const std::function<std::size_t(OutlookItem&)>& read, std::size_t& checksum) {
  Timing timing;
  timing.rssBefore = StatusKb("VmRSS");
  ResetPeakRss();
  for (int round = 0; round < rounds; ++round) {
    const Clock::time_point start = Clock::now();
    const double cpuStart = CpuSeconds();
    std::shared_ptr<lorva::outlook::ItemCollection> collection = store.GetFolder(kFolder)->Items();
    const int count = collection->Count();
    for (int i = 1; i <= count; ++i) checksum += read(*collection->Item(i));
    timing.wall = std::min(timing.wall, Seconds(start));
    timing.cpu = std::min(timing.cpu, CpuSeconds() - cpuStart);
  }
  timing.peak = StatusKb("VmHWM");
  return timing;
}

void Report(const char* what, const Timing& t, int items, const Timing* raw, const char* target) {
  std::printf("%-6s %.3f s wall (%.0f items/s), %.3f s processor (%.0f items/s)", what, t.wall,
              items / t.wall, t.cpu, items / t.cpu);
  if (raw != nullptr) {
    std::printf("; %.2fx the raw read's processor time", t.cpu / raw->cpu);
  }
  std::printf("; resident memory grew %ld kB%s\n", t.peak - t.rssBefore, target);
}

}  // namespace

int main(int argc, char** argv) {
  int items = 10000;
  int attachmentKb = 2;
  int rounds = 3;
  std::string phase = "all";
  std::string storeDir;
  std::string buildDir;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--items") == 0) items = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--attachment-kb") == 0) attachmentKb = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--phase") == 0) phase = argv[i + 1];
    if (std::strcmp(argv[i], "--store") == 0) storeDir = argv[i + 1];
    if (std::strcmp(argv[i], "--build") == 0) buildDir = argv[i + 1];
  }
  if (phase != "all" && phase != "lists" && phase != "run") {
    std::fprintf(stderr, "mailstore_bench: --phase is all, lists or run, not \"%s\"\n",
                 phase.c_str());
    return 2;
  }

  fs::path root;
  bool temporary = false;
  if (!storeDir.empty()) {
    root = storeDir;
  } else if (!buildDir.empty()) {
    root = buildDir;
  } else {
    std::string pattern = (fs::temp_directory_path() / "lorva-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return 1;
    root = pattern;
    temporary = true;
  }
  const fs::path folder = root / kFolder;

  std::vector<fs::path> files;
  std::uintmax_t storeBytes = 0;
  if (storeDir.empty()) {
    const Clock::time_point start = Clock::now();
    fs::create_directories(folder);
    for (int n = 1; n <= items; ++n) {
      files.push_back(
          lorva::bench::WriteArticleFile(folder, n, Article(n, attachmentKb), storeBytes));
    }
    std::printf("built %d items (%.1f MB, %.0f bytes each) in %.2f s\n", items, storeBytes / 1e6,
                static_cast<double>(storeBytes) / items, Seconds(start));
    if (!buildDir.empty()) return 0;
  } else {
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
      files.push_back(entry.path());
      storeBytes += entry.file_size();
    }
    items = static_cast<int>(files.size());
  }

  Timing raw;
  const bool timeRaw = phase == "all";
  if (timeRaw) {
    ReadAllBytes(files);  // warm the page cache
    for (int round = 0; round < rounds; ++round) {
      const Clock::time_point start = Clock::now();
      const double cpuStart = CpuSeconds();
      if (ReadAllBytes(files) != storeBytes) std::abort();
      raw.wall = std::min(raw.wall, Seconds(start));
      raw.cpu = std::min(raw.cpu, CpuSeconds() - cpuStart);
    }
    std::printf("raw    %.3f s wall (%.0f files/s, %.0f MB/s), %.3f s processor (%.0f files/s)\n",
                raw.wall, items / raw.wall, storeBytes / 1e6 / raw.wall, raw.cpu, items / raw.cpu);
  }

  std::shared_ptr<lorva::mailstore::MailStore> store = lorva::mailstore::MailStore::Open(root);
  std::size_t checksum = 0;
  if (phase == "all" || phase == "lists") {
    Report("lists", Enumerate(*store, rounds, ReadForLists, checksum), items,
           timeRaw ? &raw : nullptr, "");
  }
  if (phase == "all" || phase == "run") {
    Report("run", Enumerate(*store, rounds, ReadForRun, checksum), items, timeRaw ? &raw : nullptr,
           " (targets: >= 20000 items/s, <= 3x the raw read)");
  }
  std::printf("checksum %zu\n", checksum);

  if (temporary) {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  return 0;
}
