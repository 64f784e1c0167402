// Helpers shared by the benchmarks: memory figures of this process.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

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

// Starts a new peak resident set size measurement (Linux 4.0 and later).
inline void ResetPeakRss() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

}  // namespace lorva::bench
