#include "base/html_text.h"

#include <gtest/gtest.h>

#include <string>

namespace lorva {
namespace {

TEST(UrlEncodeFileNameTest, EncodesWhatAUrlCannotCarryRaw) {
  const struct {
    std::string name, expected;
  } cases[] = {
      {"1000.htm", "1000.htm"},
      {"It's #1 at 100%.htm", "It%27s%20%231%20at%20100%25.htm"},
      {"R&D; (new)+more,=@~!$*.htm", "R%26D;%20(new)+more,=@~!$*.htm"},
      {"caf\xC3\xA9.htm", "caf%C3%A9.htm"},
      {"a?b:c\\d/e.htm", "a%3Fb%3Ac%5Cd%2Fe.htm"},
      {"NULL_0.7055475.htm.htm", "NULL_0.7055475.htm.htm"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("name: " + c.name);
    EXPECT_EQ(UrlEncodeFileName(c.name), c.expected);
  }
}

TEST(FindContentIdReferenceTest, FindsCidInAnyLetterCase) {
  const std::size_t none = std::string::npos;
  const struct {
    std::string html;
    std::size_t from, expected;
  } cases[] = {
      {"cid:", 0, 0},        {"<img src=\"CiD:x\">", 0, 10},
      {"cid:a cid:b", 1, 6}, {"ci d: cd: id: cid cid;", 0, none},
      {"xcid:", 0, 1},  // whether it stands alone is the caller's business
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("\"" + c.html + "\" from " + std::to_string(c.from));
    EXPECT_EQ(FindContentIdReference(c.html, c.from), c.expected);
  }
}

}  // namespace
}  // namespace lorva
