#include "base/text_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lorva {
namespace {

TEST(CompareTextIgnoringCaseTest, CaseIgnoredAccentsCount) {
  const struct {
    std::string a, b;
    int sign;
  } cases[] = {
      {"beta", "Alpha", 1}, {"beta", "gamma", -1}, {"ABC", "abc", 0}, {"Été", "éTÉ", 0},
      {"e", "é", -1},       {"é", "f", -1},        {"", "a", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a + " vs " + c.b);
    const int result = CompareTextIgnoringCase(c.a, c.b);
    EXPECT_EQ((result > 0) - (result < 0), c.sign);
    // The keys one after the other in one buffer, after what it held.
    std::string keys = "held";
    AppendCollationKey(c.a, keys);
    const std::size_t middle = keys.size();
    AppendCollationKey(c.b, keys);
    const std::string_view key(keys);
    EXPECT_EQ(key.substr(0, 4), "held");
    EXPECT_EQ(key.substr(4, middle - 4).compare(key.substr(middle)) < 0, c.sign < 0);
  }
}

TEST(EqualIgnoringCaseTest, UnicodeFoldingButAsciiOnlyWhereAsked) {
  const struct {
    std::string a, b;
    bool equal, equalAscii;
  } cases[] = {
      {"Problem Category", "PROBLEM CATEGORY", true, true},
      {"ab", "abc", false, false},
      {"@[`{", "`{@[", false, false},  // the neighbours of the letters are no letters
      {"ÄRGER", "ärger", true, false},
      {"\xE2\x84\xAA", "k", true, false},  // the Kelvin sign folds to ASCII
      {"straße", "STRASSE", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a + " vs " + c.b);
    EXPECT_EQ(EqualIgnoringCase(c.a, c.b), c.equal);
    EXPECT_EQ(EqualIgnoringAsciiCase(c.a, c.b), c.equalAscii);
  }
}

// A byte beyond ASCII is found wherever it stands: in an eight-byte word or in the tail.
TEST(IsAsciiTest, ByteBeyondAsciiAnywhere) {
  EXPECT_TRUE(IsAscii(""));
  EXPECT_TRUE(IsAscii("\x7F\x7F\x7F\x7F\x7F\x7F\x7F\x7F\x7F"));
  const std::string ascii(19, 'a');
  for (std::size_t at = 0; at < ascii.size(); ++at) {
    std::string text = ascii;
    text[at] = '\x80';
    EXPECT_FALSE(IsAscii(text)) << "at " << at;
    EXPECT_TRUE(IsAscii(std::string_view(text).substr(at + 1))) << "after " << at;
  }
}

TEST(ParseInteger16Test, SignedDecimalDigitsInRangeOnly) {
  const struct {
    std::string text;
    std::optional<std::int16_t> value;
  } cases[] = {
      {"0", 0}, {"+7", 7}, {"-32768", -32768}, {"32767", 32767}, {"32768", {}}, {"-32769", {}},
      {"", {}}, {"+", {}}, {" 5", {}},         {"5 ", {}},       {"5x", {}},    {"0x10", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("text: \"" + c.text + "\"");
    EXPECT_EQ(ParseInteger16(c.text), c.value);
  }
}

}  // namespace
}  // namespace lorva
