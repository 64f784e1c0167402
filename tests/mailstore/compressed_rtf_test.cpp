#include "platform/mailstore/compressed_rtf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/error.h"

namespace lorva::mailstore {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromHex(std::string_view hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), 0, 16)));
  }
  return bytes;
}

// The published example stream and the text it holds.
constexpr std::string_view kVectorHex =
    "2d0000002b0000004c5a4675f1c5c7a703000a007263706731323542320af32068656c090020627705b06c647d0a"
    "800fa0";
constexpr std::string_view kVectorText = "{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n";

// A stream of type `type` holding `data` after its 16-byte header, with the sizes and CRC set.
Bytes Stream(std::uint32_t type, std::uint32_t rawSize, const Bytes& data) {
  Bytes stream = data;
  stream.insert(stream.begin(), 16, 0);
  WriteLe32(stream.data(), static_cast<std::uint32_t>(stream.size() - 4));
  WriteLe32(stream.data() + 4, rawSize);
  WriteLe32(stream.data() + 8, type);
  WriteLe32(stream.data() + 12, type == 0x414C454D ? 0 : Crc32(data));
  return stream;
}

TEST(CompressedRtfTest, DecodesAndWritesThePublishedExampleAndReadsStoredText) {
  EXPECT_EQ(DecompressRtf(FromHex(kVectorHex)), kVectorText);
  EXPECT_EQ(CompressRtf(kVectorText), FromHex(kVectorHex));
  const std::string text = "{\\rtf1 plain}";
  EXPECT_EQ(DecompressRtf(Stream(0x414C454D, 13, Bytes(text.begin(), text.end()))), text);
}

TEST(CompressedRtfTest, RefusesMalformedStreams) {
  const Bytes good = FromHex(kVectorHex);
  const std::pair<const char*, std::function<void(Bytes&)>> cases[] = {
      {"shorter than the header", [](Bytes& b) { b.resize(10); }},
      {"compressed size wrong", [](Bytes& b) { b[0] = 0x2e; }},
      {"wrong checksum", [](Bytes& b) { b[12] ^= 1; }},
      {"unknown type", [](Bytes& b) { b[8] = 'X'; }},
      {"raw size smaller than the data", [](Bytes& b) { b[4] = 0x20; }},
      {"raw size larger than the data", [](Bytes& b) { b[4] = 0x30; }},
      {"raw size beyond what the data can produce",
       [](Bytes& b) { WriteLe32(b.data() + 4, 0x7FFFFFFF); }},
      {"stored text longer than the stream",
       [](Bytes& b) { WriteLe32(b.data() + 8, 0x414C454D), WriteLe32(b.data() + 4, 1000); }},
      // A control byte, then a reference to dictionary slot 0x800 that nothing was written to.
      {"reference past the end of the decoded data",
       [](Bytes& b) {
         b = Stream(0x75465A4C, 2, {0x01, 0x80, 0x00});
       }},
  };
  for (const auto& [what, edit] : cases) {
    SCOPED_TRACE(what);
    Bytes bytes = good;
    edit(bytes);
    try {
      DecompressRtf(bytes);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), errnum::kBadFileFormat);
      EXPECT_FALSE(e.description().empty());
    }
  }
}

}  // namespace
}  // namespace lorva::mailstore
