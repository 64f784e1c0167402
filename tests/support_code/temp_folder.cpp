#include "support_code/temp_folder.h"

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <iterator>

namespace lorva::testing {

TempFolder::TempFolder() {
  static std::atomic<unsigned> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("lorva-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code code;
  std::filesystem::remove_all(path_, code);
}

std::string TempFolder::Write(const std::string& name, const std::string& bytes) const {
  const std::filesystem::path path = path_ / name;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
  return path.string();
}

std::string TempFolder::Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace lorva::testing
