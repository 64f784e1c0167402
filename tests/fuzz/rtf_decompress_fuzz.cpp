// Feeds arbitrary bytes to the compressed rich-text reader; malformed input must give
// lorva::Error, never a crash, a hang or a huge allocation. Whatever decodes is compressed again
// and must read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "platform/mailstore/compressed_rtf.h"
#include "support/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text;
  try {
    text = lorva::mailstore::DecompressRtf(std::span<const std::uint8_t>(data, size));
  } catch (const lorva::Error&) {
    return 0;
  }
  if (lorva::mailstore::DecompressRtf(lorva::mailstore::CompressRtf(text)) != text) std::abort();
  return 0;
}
