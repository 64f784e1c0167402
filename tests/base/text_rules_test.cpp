#include "base/text_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lorva {
namespace {

TEST(CompareTextIgnoringCaseTest, CaseIgnoredAccentsCount) {
  struct Case {
    std::string a, b;
    int sign;
  };
  const Case cases[] = {
      {"beta", "Alpha", 1},  {"beta", "gamma", -1},
      {"ABC", "abc", 0},     {"\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89", 0},
      {"e", "\xC3\xA9", -1}, {"\xC3\xA9", "f", -1},
      {"", "a", -1},
  };
  for (const Case& c : cases) {
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
  struct Case {
    std::string a, b;
    bool equal, equalAscii;
  };
  const Case cases[] = {
      {"Problem Category", "PROBLEM CATEGORY", true, true},
      {"ab", "abc", false, false},
      {"@[`{", "`{@[", false, false},  // the neighbours of the letters are no letters
      {"\xC3\x84RGER", "\xC3\xA4rger", true, false},
      {"\xE2\x84\xAA", "k", true, false},  // the Kelvin sign folds to ASCII
      {"stra\xC3\x9F"
       "e",
       "STRASSE", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a + " vs " + c.b);
    EXPECT_EQ(EqualIgnoringCase(c.a, c.b), c.equal);
    EXPECT_EQ(EqualIgnoringAsciiCase(c.a, c.b), c.equalAscii);
  }
}

// Callers find a text in the lower-cased copy and cut the original at the same place.
TEST(AsciiLowerTest, LowersAsciiLettersOnlyAndKeepsEveryPosition) {
  EXPECT_EQ(AsciiLower("AZaz@[`{ CID:\xC3\x80\xC3\xA9"), "azaz@[`{ cid:\xC3\x80\xC3\xA9");
}

TEST(HexValueTest, DigitsAndTheirNeighbours) {
  struct Case {
    char c;
    int value;
  };
  const Case cases[] = {{'0', 0},  {'9', 9},  {'a', 10}, {'F', 15},
                        {'/', -1}, {':', -1}, {'`', -1}, {'G', -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("digit: ") + c.c);
    EXPECT_EQ(HexValue(c.c), c.value);
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

TEST(FromWindows1252Test, HighBytesAndTheUndefinedFive) {
  struct Case {
    unsigned char byte;
    char32_t character;
  };
  const Case cases[] = {{0x7F, 0x7F}, {0x80, 0x20AC}, {0x81, 0x81},   {0x9D, 0x9D},
                        {0xA0, 0xA0}, {0xE9, 0xE9},   {0x9F, 0x0178}, {0x92, 0x2019}};
  for (const Case& c : cases) {
    EXPECT_EQ(FromWindows1252(c.byte), c.character) << "byte " << int{c.byte};
  }
}

TEST(ParseInteger16Test, SignedDecimalDigitsInRangeOnly) {
  struct Case {
    std::string text;
    std::optional<std::int16_t> value;
  };
  const Case cases[] = {
      {"0", 0}, {"+7", 7}, {"-32768", -32768}, {"32767", 32767}, {"32768", {}}, {"-32769", {}},
      {"", {}}, {"+", {}}, {" 5", {}},         {"5 ", {}},       {"5x", {}},    {"0x10", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text: \"" + c.text + "\"");
    EXPECT_EQ(ParseInteger16(c.text), c.value);
  }
}

}  // namespace
}  // namespace lorva
