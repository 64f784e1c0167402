// Little-endian numbers in byte buffers: the byte order of the file formats the program reads and
// writes (compound files, Outlook items, compressed rich text, UTF-16 text); and the CRC-32
// checksum those formats use.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace lorva {

// The number stored little-endian at `p`. Precondition: 2, 4 or 8 bytes are readable at `p`.
inline std::uint16_t ReadLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t ReadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint64_t ReadLe64(const std::uint8_t* p) {
  return ReadLe32(p) | static_cast<std::uint64_t>(ReadLe32(p + 4)) << 32;
}

// Stores `v` little-endian at `p`. Precondition: 2 or 4 bytes are writable at `p`.
inline void WriteLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void WriteLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Appends `v` little-endian to `out`.
inline void AppendLe16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void AppendLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void AppendLe64(std::vector<std::uint8_t>& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// The CRC-32 of `bytes` as compressed rich text and the named-property hash streams of Outlook
// items compute it: the reflected polynomial 0xEDB88320, starting from 0, without a final XOR.
inline std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  static constexpr std::array<std::uint32_t, 256> kTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
    return table;
  }();
  std::uint32_t crc = 0;
  for (const std::uint8_t b : bytes) crc = kTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc;
}

}  // namespace lorva
