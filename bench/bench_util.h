// Helpers shared by the benchmarks: memory figures of this process, article text, dialogs that
// print their messages.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/mailstore/msg_content.h"
#include "platform/ui/dialogs.h"

namespace lorva::bench {

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 when it cannot be read.
inline long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.starts_with(prefix)) return std::atol(line.c_str() + prefix.size());
  }
  return -1;
}

// About 10 KB of article HTML, different for each `n`.
inline std::string ArticleHtml(int n) {
  std::string html =
      "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
      "</head><body>\r\n<h1>Article " +
      std::to_string(n) + "</h1>\r\n";
  while (html.size() < 10 * 1024) {
    html += "<p>When the printer on floor " + std::to_string(n % 7) +
            " shows <b>Offline</b>, open the print queue, clear <i>Use Printer Offline</i> and "
            "print a test page. If that does not help, restart the spooler service.</p>\r\n";
  }
  return html + "</body></html>\r\n";
}

// Writes `content` as the .msg file "KB<n, six digits>.msg" in `folder`; returns its path and
// adds its size to `bytes`.
inline std::filesystem::path WriteArticleFile(const std::filesystem::path& folder, int n,
                                              const lorva::mailstore::MsgContent& content,
                                              std::uintmax_t& bytes) {
  char name[32];
  std::snprintf(name, sizeof name, "KB%06d.msg", n);
  const std::vector<std::uint8_t> data = lorva::mailstore::WriteMsg(content);
  std::ofstream(folder / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  bytes += data.size();
  return folder / name;
}

// Dialogs that print each message to standard error and answer it with `answer`; no folder is
// chosen.
class PrintingDialogs : public lorva::platform::Dialogs {
 public:
  explicit PrintingDialogs(int answer = lorva::platform::msgbox::kOk) : answer_(answer) {}
  int MsgBox(const std::string& prompt, int, const std::string&) override {
    std::fprintf(stderr, "message: %s\n", prompt.c_str());
    return answer_;
  }
  std::string BrowseForFolder(const std::string&, const std::string&) override { return ""; }
  std::string PickMailFolder(const std::vector<std::string>&, const std::string&) override {
    return "";
  }

 private:
  int answer_;
};

// Starts a new peak resident set size measurement (Linux 4.0 and later).
inline void ResetPeakRss() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

}  // namespace lorva::bench
