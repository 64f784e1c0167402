#include "platform/mailstore/compressed_rtf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/error.h"

namespace lorva::mailstore {
namespace {

std::vector<std::uint8_t> FromHex(std::string_view hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(
        static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

// The published example stream and the text it holds.
constexpr std::string_view kVectorHex =
    "2d0000002b0000004c5a4675f1c5c7a703000a007263706731323542320af32068656c090020627705b06c647d0a"
    "800fa0";
constexpr std::string_view kVectorText = "{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n";

void PutLe32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  WriteLe32(bytes.data() + at, value);
}

TEST(CompressedRtfTest, DecodesAndWritesThePublishedExample) {
  EXPECT_EQ(DecompressRtf(FromHex(kVectorHex)), kVectorText);
  EXPECT_EQ(CompressRtf(kVectorText), FromHex(kVectorHex));
}

TEST(CompressedRtfTest, ReadsStoredText) {
  std::vector<std::uint8_t> stream(16, 0);
  const std::string text = "{\\rtf1 plain}";
  stream.insert(stream.end(), text.begin(), text.end());
  PutLe32(stream, 0, static_cast<std::uint32_t>(stream.size() - 4));
  PutLe32(stream, 4, static_cast<std::uint32_t>(text.size()));
  PutLe32(stream, 8, 0x414C454D);  // "MELA"
  EXPECT_EQ(DecompressRtf(stream), text);
}

TEST(CompressedRtfTest, RefusesMalformedStreams) {
  const std::vector<std::uint8_t> good = FromHex(kVectorHex);
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Case> cases;
  auto edited = [&](auto edit) {
    std::vector<std::uint8_t> bytes = good;
    edit(bytes);
    return bytes;
  };
  cases.push_back({"empty", {}});
  cases.push_back(
      {"shorter than the header", std::vector<std::uint8_t>(good.begin(), good.begin() + 10)});
  cases.push_back({"compressed size too large", edited([](auto& b) { b[0] = 0x2e; })});
  cases.push_back({"compressed size too small", edited([](auto& b) { b[0] = 0x2c; })});
  cases.push_back({"wrong checksum", edited([](auto& b) { b[12] ^= 1; })});
  cases.push_back({"data altered under the checksum", edited([](auto& b) { b[20] ^= 0x40; })});
  cases.push_back({"unknown type", edited([](auto& b) { b[8] = 'X'; })});
  cases.push_back({"truncated data", edited([](auto& b) {
                     b.resize(b.size() - 3);
                     PutLe32(b, 0, static_cast<std::uint32_t>(b.size() - 4));
                   })});
  cases.push_back({"raw size smaller than the data", edited([](auto& b) { b[4] = 0x20; })});
  cases.push_back({"raw size larger than the data", edited([](auto& b) { b[4] = 0x30; })});
  cases.push_back({"raw size beyond what the data can produce",
                   edited([](auto& b) { PutLe32(b, 4, 0x7FFFFFFF); })});
  cases.push_back({"stored text longer than the stream", edited([](auto& b) {
                     PutLe32(b, 8, 0x414C454D);
                     PutLe32(b, 4, 1000);
                   })});
  {
    // A reference to a dictionary slot that nothing has been written to yet.
    std::vector<std::uint8_t> bytes(16, 0);
    bytes.insert(bytes.end(), {0x01, 0x80, 0x00});  // control byte, reference to slot 0x800
    PutLe32(bytes, 0, static_cast<std::uint32_t>(bytes.size() - 4));
    PutLe32(bytes, 4, 2);
    PutLe32(bytes, 8, 0x75465A4C);
    std::uint32_t crc = 0;
    for (std::size_t i = 16; i < bytes.size(); ++i) {
      crc ^= bytes[i];
      for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    PutLe32(bytes, 12, crc);
    cases.push_back({"reference past the end of the decoded data", bytes});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      DecompressRtf(c.bytes);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), errnum::kBadFileFormat);
      EXPECT_FALSE(e.description().empty());
    }
  }
}

}  // namespace
}  // namespace lorva::mailstore
