#include "platform/mailstore/rtf_html.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lorva::mailstore {
namespace {

TEST(RtfHtmlTest, OnlyEncapsulatedHtmlIsRecovered) {
  for (const char* rtf :
       {"", "<html><body>not rich text</body></html>", "{\\rtf1\\ansi\\deff0 plain rich text\\par}",
        "{\\rtf1\\ansi\\fromhtml0 {\\*\\htmltag <p>}}"}) {
    EXPECT_FALSE(ExtractHtmlFromRtf(rtf).has_value()) << rtf;
  }
}

// The HTML of a body after "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0\\uc1 ", as Outlook
// writes it: what \\htmlrtf hides is left out, tables and formatting give nothing, escapes and
// special characters become their characters, and \\u escapes skip their fallback.
TEST(RtfHtmlTest, BodiesOfEncapsulatedHtml) {
  const std::pair<std::string, std::string> cases[] = {
      {"\\htmlrtf1 x{\\htmlrtf0 y}z\\htmlrtf0 w", "yw"},  // and is inherited by inner groups
      {"\\htmlrtf \\par \\tab \\'e9\\u1055?\\htmlrtf0 end", "end"},
      {"\\htmlrtf {{\\*\\pn\\pnlvlbody{\\pntxta.}}{\\pntext 1.\\tab}}\\htmlrtf0 item", "item"},
      {"{\\colortbl\\red0\\green0\\blue255;}{\\*\\htmltag64}\\pard\\plain\\fs24 "
       "{\\*\\htmltag <p title=\"\\{\\}\">}\\{\\}\\\\",
       "<p title=\"{}\">{}\\"},
      {"one\\par two\\tab three\\line four", "one\r\ntwo\tthree\r\nfour"},
      {"{\\*\\htmltag <p>\\par \\tab \\line x}", "<p>\r\n\tx"},  // \line carries nothing in tags
      {"{\\*\\mhtmltag84 <img src=\"cid:1\">}{\\*\\htmltag84 <img src=\"1.png\">}",
       "<img src=\"1.png\">"},
      {"\\u1055?x", "\u041Fx"},
      {"\\uc3\\u1055 a\\par bc", "\u041Fc"},  // a control word counts as one character
      {"{\\uc5\\u1055 ab}cd", "\u041Fcd"},    // skipping ends with the group
      {"\\u-10179?\\u-8704?", "\U0001F600"},  // a surrogate pair
  };
  for (const auto& [body, html] : cases) {
    const std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0\\uc1 " + body + "}";
    EXPECT_EQ(ExtractHtmlFromRtf(rtf).value_or("(none)"), html) << body;
  }
}

// Hex bytes follow the code page of the current font's character set, else the document's.
// Outlook writes single \'a0 no-break spaces into wrappers whatever their code page, also into
// UTF-8 ones where the byte alone is no character; characters split into several escapes still
// join.
TEST(RtfHtmlTest, HexBytesFollowTheCodePage) {
  const std::pair<std::string, std::string> cases[] = {
      // The document's code page.
      {"{\\rtf1\\ansi\\ansicpg1251\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
       "{\\*\\htmltag <p>}\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2{\\*\\htmltag </p>}}",
       "<p>\u041F\u0440\u0438\u0432\u0435\u0442</p>"},
      // The current font's character set wins over the document's code page.
      {"{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
       "{\\f1\\fswiss\\fcharset204 Arial Cyr;}}{\\*\\htmltag <p>}\\f1 \\'cf\\'f0\\'e8\\'e2\\'e5"
       "\\'f2\\f0  caf\\'e9{\\*\\htmltag </p>}}",
       "<p>\u041F\u0440\u0438\u0432\u0435\u0442 caf\u00E9</p>"},
      // Tag content always uses the document's code page.
      {"{\\rtf1\\ansi\\ansicpg1251\\fromhtml1 {\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0 "
       "{\\*\\htmltag <p title=\"\\'c4\">}\\'c4{\\*\\htmltag </p>}}",
       "<p title=\"\u0414\">\u00C4</p>"},
      // Double-byte code pages, with the trail byte written as plain text.
      {"{\\rtf1\\ansi\\fromhtml1 {\\fonttbl{\\f3\\fcharset128 MS Gothic;}}\\f3 \\'82\\'a0\\'83A}",
       "\u3042\u30A2"},
      // A code page whose converter holds back a character for combining marks.
      {"{\\rtf1\\ansi\\ansicpg1258\\fromhtml1 a\\'e0\\'82b}", "a\u00E0\u201Ab"},
      // A byte that decodes neither in its code page nor in windows-1252: its neighbours stay.
      {"{\\rtf1\\ansi\\ansicpg932\\fromhtml1 a\\'81\\par b}", "a\uFFFD\r\nb"},
      // No-break spaces in UTF-8 and 932 wrappers.
      {"{\\rtf1\\ansi\\ansicpg65001\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\\f0 "
       "\\'a0\\'a0Alec}",
       "\u00A0\u00A0Alec"},
      {"{\\rtf1\\ansi\\ansicpg932\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss\\fcharset128 MS "
       "PGothic;}}\\f0 \\'82\\'a0\\'a0}",
       "\u3042\u00A0"},
  };
  for (const auto& [rtf, html] : cases) {
    EXPECT_EQ(ExtractHtmlFromRtf(rtf).value_or("(none)"), html) << rtf;
  }
}

TEST(RtfHtmlTest, EncapsulatedHtmlComesBackByteForByte) {
  const std::vector<std::string> pages = {
      "",
      "<html><head><meta charset=\"utf-8\"><title>Title {with} braces\\</title>\n"
      "<style>p { margin: 0 } /* \\ */</style>\n"
      "<script>if (a < b && c) { x = \"\\\\\"; }</script></head>\r\n"
      "<body>\r\n<p class=\"x\" title='a > b'>\u041F\u0440\u0438\u0432\u0435\u0442, "
      "\u039A\u03B1\u03BB\u03B7\u03BC\u03AD\u03C1\u03B1, \u4F60\u597D, "
      "\u3053\u3093\u306B\u3061\u306F \U0001F600\U0001F44D</p>\n"
      "<p>{braces} and \\backslashes\\ and \\par and \\'e9 and \\u1234?</p>\r"
      "<!-- a comment with <tags> & {braces} -->\n"
      "&amp; &lt; &nbsp; &#233; &#x1F600; &unknown; & bare ampersand, a < b, 1 > 0\n"
      "\ttabbed\x01 control\x7f characters<br>123<b>456</b>\r\n"
      "</body></html>\r\n",
      "<p>unterminated tag <b class=\"x",
      "text \\",
  };
  for (const std::string& html : pages) {
    SCOPED_TRACE(html);
    const std::string rtf = EncapsulateHtmlInRtf(html);
    EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl", 0), 0u);
    EXPECT_EQ(ExtractHtmlFromRtf(rtf).value_or("(none)"), html);
  }
}

TEST(RtfHtmlTest, RichTextMadeFromPlainText) {
  const std::string rtf =
      "{\\rtf1\\ansi\\ansicpg1252\\fromtext \\fbidis \\deff0{\\fonttbl{\\f0\\fmodern "
      "Courier;}}{\\*\\htmltag64}\\htmlrtf \\f0\\fs20 \\htmlrtf0 one\\par two\\htmlrtf  "
      "added\\htmlrtf0 }";
  EXPECT_TRUE(IsRtfFromText(rtf));
  EXPECT_FALSE(IsRtfFromText("{\\rtf1\\ansi\\fromhtml1 x}"));
  EXPECT_FALSE(IsRtfFromText("{\\rtf1\\ansi x}"));
  EXPECT_EQ(ExtractTextFromRtf(rtf), "one\r\ntwo");
}

TEST(RtfHtmlTest, HostileRichTextIsReadSafely) {
  const std::string head = "{\\rtf1\\ansi\\fromhtml1 ";
  std::vector<std::string> inputs = {
      head + std::string(200000, '{') + "deep" + std::string(200000, '}') + "after",
      head + std::string(100000, '}') + "x",
      head + "\\u99999999999999999999 \\uc999999999999 \\u1 x\\f-99999999999 \\'",
      head + "\\bin999999999999 abc",
      head + "{\\*\\htmltag " + std::string(100000, '{') + "\\",
      head + "{\\fonttbl{\\f1\\fcharset128 X;}}\\f1 " + std::string(1000, '\x82'),
  };
  for (const std::string& rtf : inputs) {
    SCOPED_TRACE(rtf.substr(0, 60));
    EXPECT_TRUE(ExtractHtmlFromRtf(rtf).has_value());
    ExtractTextFromRtf(rtf);
  }
  EXPECT_EQ(ExtractHtmlFromRtf(head + std::string(5000, '{') + "<deep>").value_or(""), "<deep>");
}

TEST(RtfHtmlTest, PlainTextBecomesAnHtmlDocument) {
  EXPECT_EQ(PlainTextToHtml("a & b <c> \"d\"\r\nline2\nline3\rend"),
            "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
            "</head><body>a &amp; b &lt;c&gt; &quot;d&quot;<br>\r\nline2<br>\nline3<br>\rend"
            "</body></html>");
}

}  // namespace
}  // namespace lorva::mailstore
