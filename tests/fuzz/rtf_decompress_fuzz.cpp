// Feeds arbitrary bytes to the compressed rich-text reader; malformed input must give
// lorva::Error, never a crash, a hang or a huge allocation. The bytes are read twice: as a whole
// stream, and as the data of a stream whose header (sizes, checksum) is made to match, so that
// the mutations reach the decoder behind the checksum. Whatever decodes is compressed again and
// must read back unchanged.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/error.h"
#include "platform/mailstore/compressed_rtf.h"

namespace {

void Check(std::span<const std::uint8_t> stream) {
  std::string text;
  try {
    text = lorva::mailstore::DecompressRtf(stream);
  } catch (const lorva::Error&) {
    return;
  }
  if (lorva::mailstore::DecompressRtf(lorva::mailstore::CompressRtf(text)) != text) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Check(std::span<const std::uint8_t>(data, size));
  if (size < 2) return 0;
  // The first two bytes choose the raw size; the rest (up to 64 KiB) is the compressed data.
  const std::span<const std::uint8_t> body(data + 2, std::min<std::size_t>(size - 2, 1 << 16));
  const std::uint32_t rawSize = lorva::ReadLe16(data);
  std::vector<std::uint8_t> stream(16);
  auto put = [&](std::size_t at, std::uint32_t value) {
    lorva::WriteLe32(stream.data() + at, value);
  };
  stream.insert(stream.end(), body.begin(), body.end());
  put(0, static_cast<std::uint32_t>(stream.size() - 4));
  put(4, rawSize);
  put(8, 0x75465A4C);
  put(12, lorva::Crc32(body));
  Check(stream);
  return 0;
}
