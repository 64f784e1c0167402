// A shell for tests: records what it was asked to open or start instead of doing it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/shell/shell.h"

namespace lorva::testing {

class RecordingShell : public platform::Shell {
 public:
  void Open(const std::string& target) override { opened.push_back(target); }
  void Start(const std::string& program, const std::vector<std::string>& arguments) override {
    started.emplace_back(program, arguments);
  }

  std::vector<std::string> opened;
  std::vector<std::pair<std::string, std::vector<std::string>>> started;
};

}  // namespace lorva::testing
