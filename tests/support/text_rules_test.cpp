#include "support/text_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace lorva {
namespace {

TEST(BlankControlCharactersTest, EveryControlCharacterBecomesABlank) {
  struct Case {
    std::string text, expected;
  };
  const Case cases[] = {
      {std::string("a\0b", 3), "a b"},
      {"tab\there\r\nnext", "tab here  next"},
      {"\x01\x1F\x7F", "   "},
      {"x\xC2\x80y\xC2\x9Fz", "x y z"},  // C1: U+0080 and U+009F
      {"\xC2\xA0 \xC3\xA9 \xE2\x80\x8B", "\xC2\xA0 \xC3\xA9 \xE2\x80\x8B"},  // not controls
      {"\xEF\xBF\xBF~ !", "\xEF\xBF\xBF~ !"},  // U+FFFF, "~" and blanks stay
      {"\x85\xC2", "\x85\xC2"},                // bytes that are not UTF-8 stay as they are
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text: " + c.text);
    EXPECT_EQ(BlankControlCharacters(c.text), c.expected);
  }
}

TEST(FoldCaseTest, MatchesWhatDiffersInLetterCaseOnly) {
  EXPECT_EQ(FoldCase("AB.htm"), FoldCase("ab.HTM"));
  EXPECT_EQ(FoldCase("\xC3\x89t\xC3\xA9"), FoldCase("\xC3\xA9T\xC3\x89"));  // Été, éTÉ
  EXPECT_EQ(FoldCase("STRASSE"), FoldCase("stra\xC3\x9F"
                                          "e"));              // full folding
  EXPECT_NE(FoldCase("\xC3\xA9t\xC3\xA9"), FoldCase("ete"));  // accents count
}

}  // namespace
}  // namespace lorva
