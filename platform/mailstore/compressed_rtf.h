// The compressed rich-text body of an Outlook item (PR_RTF_COMPRESSED): a 16-byte header and
// either LZFu-compressed or stored ("MELA") RTF.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lorva::mailstore {

// Returns the RTF held in a compressed-RTF stream. The input is untrusted: a bad header (sizes
// that disagree with the buffer, unknown type, wrong CRC), a reference past the end of the data
// or a raw size that the data cannot produce throws lorva::Error (errnum::kBadFileFormat) saying
// what is wrong. Never allocates more than a small multiple of the input's size.
std::string DecompressRtf(std::span<const std::uint8_t> bytes);

// Returns an LZFu-compressed stream (header with sizes and CRC, then the data) holding `rtf`,
// as Outlook stores it, using the longest match in the 4096-byte window (the older one on a
// tie). DecompressRtf reads it back to `rtf`. Precondition: rtf.size() < 4 GiB.
std::vector<std::uint8_t> CompressRtf(std::string_view rtf);

}  // namespace lorva::mailstore
