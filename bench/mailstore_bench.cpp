// How fast the mail store enumerates a knowledge base, compared with reading the same files.
//
//   mailstore_bench [--items N] [--rounds R]
//
// Builds a store of N articles (default 10,000: about 10 KB of HTML each, two user properties,
// one attachment) in a temporary directory, then enumerates the folder R times (default 3) as
// an archive run does: Subject, both user properties and HTMLBody of every item. Prints the
// best round in items per second, the ratio to reading the files' bytes alone (warm page cache),
// and how much the resident memory grew while enumerating.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "platform/mailstore/msg_content.h"
#include "platform/mailstore/store.h"
#include "platform/outlook/object_model.h"

namespace fs = std::filesystem;
using lorva::mailstore::MsgAttachment;
using lorva::mailstore::MsgContent;
using lorva::outlook::Value;
using Clock = std::chrono::steady_clock;

using lorva::bench::ArticleHtml;
using lorva::bench::ResetPeakRss;
using lorva::bench::StatusKb;

namespace {

MsgContent Article(int n) {
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
  const std::string text(2048, 'x');
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

}  // namespace

int main(int argc, char** argv) {
  int items = 10000;
  int rounds = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--items") == 0) items = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
  }
  std::string pattern = (fs::temp_directory_path() / "lorva-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return 1;
  const fs::path root = pattern;
  const fs::path folder = root / "Knowledge Base";
  fs::create_directories(folder);

  Clock::time_point start = Clock::now();
  std::vector<fs::path> files;
  std::uintmax_t storeBytes = 0;
  for (int n = 1; n <= items; ++n) {
    files.push_back(lorva::bench::WriteArticleFile(folder, n, Article(n), storeBytes));
  }
  std::printf("built %d items (%.1f MB, %.0f bytes each) in %.2f s\n", items, storeBytes / 1e6,
              static_cast<double>(storeBytes) / items, Seconds(start));

  ReadAllBytes(files);  // warm the page cache
  double rawBest = 1e9;
  double rawCpuBest = 1e9;
  for (int round = 0; round < rounds; ++round) {
    start = Clock::now();
    const double cpuStart = CpuSeconds();
    if (ReadAllBytes(files) != storeBytes) std::abort();
    rawBest = std::min(rawBest, Seconds(start));
    rawCpuBest = std::min(rawCpuBest, CpuSeconds() - cpuStart);
  }

  std::shared_ptr<lorva::mailstore::MailStore> store = lorva::mailstore::MailStore::Open(root);
  const long rssBefore = StatusKb("VmRSS");
  ResetPeakRss();
  long rssAfterTenth = 0;
  double enumBest = 1e9;
  double enumCpuBest = 1e9;
  std::size_t checksum = 0;
  for (int round = 0; round < rounds; ++round) {
    start = Clock::now();
    const double cpuStart = CpuSeconds();
    std::shared_ptr<lorva::outlook::ItemCollection> collection =
        store->GetFolder("Knowledge Base")->Items();
    const int count = collection->Count();
    for (int i = 1; i <= count; ++i) {
      std::shared_ptr<lorva::outlook::OutlookItem> item = collection->Item(i);
      checksum += item->Subject().size();
      std::shared_ptr<lorva::outlook::UserPropertyCollection> properties = item->UserProperties();
      checksum += properties->Find("Problem Category")->GetValue().AsText().size();
      checksum += properties->Find("Problem Type")->GetValue().AsText().size();
      checksum += item->HTMLBody().size();
      if (round == 0 && i == count / 10) rssAfterTenth = StatusKb("VmRSS");
    }
    enumBest = std::min(enumBest, Seconds(start));
    enumCpuBest = std::min(enumCpuBest, CpuSeconds() - cpuStart);
  }
  const long peak = StatusKb("VmHWM");
  const long rssAfter = StatusKb("VmRSS");

  std::printf(
      "raw read:    %.3f s wall (%.0f files/s, %.0f MB/s), %.3f s processor (%.0f files/s)\n",
      rawBest, items / rawBest, storeBytes / 1e6 / rawBest, rawCpuBest, items / rawCpuBest);
  std::printf(
      "enumeration: %.3f s wall (%.0f items/s), %.3f s processor (%.0f items/s); "
      "target >= 20000 items/s\n",
      enumBest, items / enumBest, enumCpuBest, items / enumCpuBest);
  std::printf("ratio enumeration / raw read: %.2f wall, %.2f processor (target <= 3)\n",
              enumBest / rawBest, enumCpuBest / rawCpuBest);
  std::printf(
      "resident memory: %ld kB before, %ld kB after a tenth, %ld kB after, peak %ld kB "
      "(growth %ld kB)\n",
      rssBefore, rssAfterTenth, rssAfter, peak, peak - rssBefore);
  std::printf("checksum %zu\n", checksum);

  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
