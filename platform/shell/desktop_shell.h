// The desktop's shell on Linux: addresses and documents open with xdg-open, programs start with
// posix_spawn. Neither waits for the started program; children are reaped in the background so
// they do not linger as zombies.
#pragma once

#include <string>
#include <vector>

#include "platform/shell/shell.h"

namespace lorva::platform {

class DesktopShell : public Shell {
 public:
  // `opener` is the program that opens addresses and documents ("xdg-open" found on PATH).
  explicit DesktopShell(std::string opener = "xdg-open") : opener_(std::move(opener)) {}
  void Open(const std::string& target) override;
  void Start(const std::string& program, const std::vector<std::string>& arguments) override;

 private:
  std::string opener_;
};

}  // namespace lorva::platform
