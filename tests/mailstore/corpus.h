// The Outlook-written .msg files kept as test data: tests/data/msg and tests/data/real.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace lorva::mailstore::testing {

inline const std::filesystem::path kCorpusDir = LORVA_CORPUS_DIR;
inline const std::filesystem::path kRealCorpusDir = LORVA_REAL_CORPUS_DIR;

// The bytes of file `name` in `folder`; empty when it cannot be read.
inline std::vector<std::uint8_t> LoadCorpusFile(const std::filesystem::path& folder,
                                                const std::string& name) {
  std::ifstream in(folder / name, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace lorva::mailstore::testing
