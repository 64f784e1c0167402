// The outline script the program carries: its opening and closing lines, its line ends and
// indentation, and the functions and page-wide variables the table of contents relies on.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "resources/embedded.h"

namespace lorva {
namespace {

std::string OutlineScript() {
  const auto bytes = resources::Find("OUTLINE.JS");
  if (!bytes) return {};
  return std::string(bytes->begin(), bytes->end());
}

TEST(OutlineScriptTest, IsEmbedded) {
  EXPECT_TRUE(resources::Find("OUTLINE.JS").has_value());
}

TEST(OutlineScriptTest, OpensWithTheCommentLinesAndClosesTheHtmlComment) {
  const std::string script = OutlineScript();
  EXPECT_TRUE(script.starts_with("<!--\r\n// See KB article about changing this dynamic HTML\r\n"))
      << script.substr(0, 80);
  EXPECT_TRUE(script.ends_with("\r\n//-->\r\n"))
      << script.substr(script.size() < 20 ? 0 : script.size() - 20);
}

TEST(OutlineScriptTest, UsesCrLfLineEndsTabIndentationAndPlainAscii) {
  const std::string script = OutlineScript();
  ASSERT_FALSE(script.empty());
  std::size_t line = 1;
  for (std::size_t i = 0; i < script.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(script[i]);
    SCOPED_TRACE("line " + std::to_string(line));
    ASSERT_LT(c, 0x80u);
    if (c == '\r') {
      ASSERT_TRUE(i + 1 < script.size() && script[i + 1] == '\n') << "CR without LF";
    } else if (c == '\n') {
      ASSERT_TRUE(i > 0 && script[i - 1] == '\r') << "LF without CR";
      ++line;
      if (i + 1 < script.size()) {
        ASSERT_NE(script[i + 1], ' ') << "indented with blanks";
      }
    }
  }
}

TEST(OutlineScriptTest, DefinesTheFunctionsAndVariablesThePageUses) {
  const std::string script = OutlineScript();
  const std::string_view definitions[] = {
      "function getControlTag(",
      "function dynOutlineEnabled(",
      "function initCollapse(",
      "function containedIn(",
      "function initOutline(",
      "function dynOutline(",
      "var mac",
      "var ie4",
      "var TRok",
  };
  for (const std::string_view definition : definitions) {
    EXPECT_NE(script.find(definition), std::string::npos) << definition;
  }
}

TEST(OutlineScriptTest, ReactsToTheOutlineAttributesOnLists) {
  const std::string script = OutlineScript();
  const std::string_view names[] = {
      "\"dynamicoutline\"", "\"nodynamicoutline\"", "\"initcollapsed\"", "\"UL\"", "\"OL\"",
      "\"TABLE\""};
  for (const std::string_view name : names) {
    EXPECT_NE(script.find(name), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace lorva
