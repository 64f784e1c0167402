#include "platform/mailstore/compressed_rtf.h"

#include <array>
#include <cstddef>
#include <cstdio>
#include <string>

#include "base/bytes.h"
#include "base/error.h"

namespace lorva::mailstore {
namespace {

constexpr std::uint32_t kTypeCompressed = 0x75465A4C;    // "LZFu"
constexpr std::uint32_t kTypeUncompressed = 0x414C454D;  // "MELA"
constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kDictionarySize = 4096;
constexpr std::size_t kMaxMatch = 17;  // the low four bits hold the length - 2
constexpr std::size_t kMinMatch = 2;

// The dictionary's first bytes before any data is read or written.
constexpr std::string_view kPreload =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern "
    "\\fscript \\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0"
    "\\blue0\r\n\\par \\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
static_assert(kPreload.size() == 207);

Error BadStream(const std::string& what) {
  return Error(errnum::kBadFileFormat, "Compressed rich text: " + what);
}

}  // namespace

std::string DecompressRtf(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kHeaderSize) {
    throw BadStream("the stream is shorter than its 16-byte header (" +
                    std::to_string(bytes.size()) + " bytes)");
  }
  const std::uint32_t compressedSize = ReadLe32(bytes.data());
  const std::uint32_t rawSize = ReadLe32(bytes.data() + 4);
  const std::uint32_t type = ReadLe32(bytes.data() + 8);
  const std::uint32_t crc = ReadLe32(bytes.data() + 12);
  if (static_cast<std::uint64_t>(compressedSize) + 4 != bytes.size()) {
    throw BadStream("the header gives a compressed size of " + std::to_string(compressedSize) +
                    " bytes, the stream holds " + std::to_string(bytes.size() - 4));
  }
  const std::span<const std::uint8_t> data = bytes.subspan(kHeaderSize);

  if (type == kTypeUncompressed) {
    if (rawSize > data.size()) {
      throw BadStream("the header gives " + std::to_string(rawSize) +
                      " bytes of stored text, the stream holds " + std::to_string(data.size()));
    }
    return std::string(data.begin(), data.begin() + rawSize);
  }
  if (type != kTypeCompressed) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(type));
    throw BadStream(std::string("unknown compression type ") + hex);
  }
  if (Crc32(data) != crc) throw BadStream("the checksum does not match the data");

  // Every 17 input bytes (a control byte and eight references) yield at most 8 * 17 bytes, so
  // no honest stream declares more than eight times its data size.
  const std::uint64_t producible = static_cast<std::uint64_t>(data.size()) * 8;
  if (rawSize > producible) {
    throw BadStream("the header gives a size of " + std::to_string(rawSize) +
                    " bytes, more than the data can produce");
  }

  std::array<std::uint8_t, kDictionarySize> dictionary{};
  std::copy(kPreload.begin(), kPreload.end(), dictionary.begin());
  std::size_t writePos = kPreload.size();
  bool wrapped = false;  // every dictionary slot holds written data once the position wrapped

  std::string out;
  out.reserve(rawSize);
  auto put = [&](std::uint8_t byte) {
    if (out.size() >= rawSize) {
      throw BadStream("the data decodes to more than the " + std::to_string(rawSize) +
                      " bytes the header gives");
    }
    out.push_back(static_cast<char>(byte));
    dictionary[writePos] = byte;
    if (++writePos == kDictionarySize) {
      writePos = 0;
      wrapped = true;
    }
  };

  std::size_t in = 0;
  bool ended = false;
  while (in < data.size() && !ended) {
    const std::uint8_t control = data[in++];
    for (int bit = 0; bit < 8 && !ended; ++bit) {
      if (in >= data.size()) break;  // the last control byte may cover fewer than 8 items
      if ((control & (1u << bit)) == 0) {
        put(data[in++]);
        continue;
      }
      if (in + 2 > data.size()) throw BadStream("a reference is cut off by the end of the data");
      const unsigned word = static_cast<unsigned>(data[in]) << 8 | data[in + 1];
      in += 2;
      std::size_t offset = word >> 4;
      const std::size_t length = (word & 0xF) + kMinMatch;
      if (offset == writePos) {
        ended = true;
        break;
      }
      if (!wrapped && offset > writePos) {
        throw BadStream("a reference points past the end of the data decoded so far");
      }
      for (std::size_t i = 0; i < length; ++i) {
        put(dictionary[offset]);
        offset = (offset + 1) % kDictionarySize;
      }
    }
  }
  if (!ended && out.size() != rawSize) {
    throw BadStream("the data ends without its end mark");
  }
  if (out.size() != rawSize) {
    throw BadStream("the data decodes to " + std::to_string(out.size()) +
                    " bytes, the header gives " + std::to_string(rawSize));
  }
  return out;
}

std::vector<std::uint8_t> CompressRtf(std::string_view rtf) {
  // The compressor sees the preload followed by the text as one history; position p of the
  // history lives in dictionary slot p mod 4096. A match may start at most 4095 positions back,
  // so its slots still hold the history's bytes while the copy runs.
  std::string history;
  history.reserve(kPreload.size() + rtf.size());
  history.append(kPreload);
  history.append(rtf);

  constexpr std::size_t kMaxDistance = kDictionarySize - 1;
  constexpr std::size_t kMaxChain = 256;
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::vector<std::size_t> head(1u << 16, kNone);
  std::vector<std::size_t> previous(history.size(), kNone);
  auto key = [&](std::size_t p) {
    return static_cast<std::uint8_t>(history[p]) << 8 | static_cast<std::uint8_t>(history[p + 1]);
  };
  auto insert = [&](std::size_t p) {
    if (p + 1 >= history.size()) return;
    const auto k = key(p);
    previous[p] = head[k];
    head[k] = p;
  };
  for (std::size_t p = 0; p < kPreload.size(); ++p) insert(p);

  std::vector<std::uint8_t> out(kHeaderSize, 0);
  std::size_t controlAt = 0;
  int bit = 8;
  auto startItem = [&](bool reference) {
    if (bit == 8) {
      controlAt = out.size();
      out.push_back(0);
      bit = 0;
    }
    if (reference) out[controlAt] |= static_cast<std::uint8_t>(1u << bit);
    ++bit;
  };

  std::size_t cur = kPreload.size();
  while (cur < history.size()) {
    std::size_t bestLength = 0;
    std::size_t bestPos = 0;
    const std::size_t available = std::min(kMaxMatch, history.size() - cur);
    if (available >= kMinMatch) {
      std::size_t steps = 0;
      for (std::size_t cand = head[key(cur)]; cand != kNone && steps < kMaxChain;
           cand = previous[cand], ++steps) {
        if (cur - cand > kMaxDistance) break;
        std::size_t length = 0;
        while (length < available && history[cand + length] == history[cur + length]) ++length;
        if (length >= bestLength && length >= kMinMatch) {  // on a tie the older match
          bestLength = length;
          bestPos = cand;
        }
      }
    }
    if (bestLength >= kMinMatch) {
      startItem(true);
      const unsigned word = static_cast<unsigned>(bestPos % kDictionarySize) << 4 |
                            static_cast<unsigned>(bestLength - kMinMatch);
      out.push_back(static_cast<std::uint8_t>(word >> 8));
      out.push_back(static_cast<std::uint8_t>(word & 0xFF));
      for (std::size_t i = 0; i < bestLength; ++i) insert(cur + i);
      cur += bestLength;
    } else {
      startItem(false);
      out.push_back(static_cast<std::uint8_t>(history[cur]));
      insert(cur);
      ++cur;
    }
  }
  // The end mark: a reference to the current write position.
  startItem(true);
  const unsigned endWord = static_cast<unsigned>(cur % kDictionarySize) << 4;
  out.push_back(static_cast<std::uint8_t>(endWord >> 8));
  out.push_back(static_cast<std::uint8_t>(endWord & 0xFF));

  const std::span<const std::uint8_t> data(out.data() + kHeaderSize, out.size() - kHeaderSize);
  WriteLe32(out.data(), static_cast<std::uint32_t>(out.size() - 4));
  WriteLe32(out.data() + 4, static_cast<std::uint32_t>(rtf.size()));
  WriteLe32(out.data() + 8, kTypeCompressed);
  WriteLe32(out.data() + 12, Crc32(data));
  return out;
}

}  // namespace lorva::mailstore
