// File helpers of the registry tests, over the shared temporary folder.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "support_code/temp_folder.h"

namespace lorva::testing {

inline std::string ReadBytes(const std::filesystem::path& file) {
  return TempFolder::Read(file.string());
}

inline void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace lorva::testing
