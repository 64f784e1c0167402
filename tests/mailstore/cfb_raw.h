// Test helpers that look at and patch the raw bytes of a version 3 compound file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/bytes.h"

namespace lorva::mailstore::testing {

inline std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return ReadLe32(b.data() + at);
}
inline void Set32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  WriteLe32(b.data() + at, v);
}

// The file offset of the FAT entry for sector `sector` (files with up to 109 FAT sectors).
inline std::size_t FatEntryOffset(const std::vector<std::uint8_t>& file, std::uint32_t sector) {
  return (Get32(file, 0x4C + 4 * (sector / 128)) + 1) * 512 + 4 * (sector % 128);
}

// The file offsets of the directory entries of a valid file.
inline std::vector<std::size_t> DirectoryOffsets(const std::vector<std::uint8_t>& file) {
  std::vector<std::size_t> offsets;
  for (std::uint32_t s = Get32(file, 0x30); s < 109 * 128;
       s = Get32(file, FatEntryOffset(file, s))) {
    for (int k = 0; k < 4; ++k) offsets.push_back((s + 1) * 512 + 128 * k);
  }
  return offsets;
}

// The offset of the directory entry named `name` (ASCII), or 0.
inline std::size_t EntryOffset(const std::vector<std::uint8_t>& file, const std::string& name) {
  for (std::size_t at : DirectoryOffsets(file)) {
    const std::size_t bytes = file[at + 0x40] | file[at + 0x41] << 8;
    if (bytes != 2 * (name.size() + 1)) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i) {
      same = file[at + 2 * i] == static_cast<std::uint8_t>(name[i]) && file[at + 2 * i + 1] == 0;
    }
    if (same) return at;
  }
  return 0;
}

}  // namespace lorva::mailstore::testing
