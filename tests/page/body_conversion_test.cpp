// The rich-text route of the body: the word processor driven through its object model (a fake
// here), and the cut of the converted page's top part.
#include "page/body_conversion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "support_code/fake_word.h"
#include "support_code/temp_folder.h"
#include "support_code/test_services.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// Without a word processor the rich-text file is deleted and false returned; a missing
// rich-text file gives false and keeps the word processor; a failing open or save is passed
// over (the document still closed) and gives true without a page.
TEST(RichTextConversion, FailuresArePassedOver) {
  testing::TestServices test;
  testing::WordCalls calls;
  testing::FakeWordFactory factory{calls};
  std::shared_ptr<platform::WordApplication> word;
  TempFolder dir;
  const std::string rtf = dir / "Images/1001.rtf";
  auto convert = [&] {
    return fncConvertRTF2HTML(test.services, factory, word, rtf, dir / "1001.htm");
  };
  auto writeRtf = [&] { dir.Write("Images/1001.rtf", "{\\rtf1 text}"); };
  for (int failure : {errnum::kCannotCreateObject, 5}) {
    calls.failCreateWith = failure;
    writeRtf();
    EXPECT_FALSE(convert()) << failure;
    EXPECT_FALSE(fs::exists(rtf));
  }
  EXPECT_TRUE(calls.calls.empty());
  calls.failCreateWith = 0;
  EXPECT_FALSE(convert());
  EXPECT_EQ(calls.calls, std::vector<std::string>{"Visible false"});
  for (const bool failOpen : {true, false}) {
    calls.failOpen = failOpen;
    calls.failSave = !failOpen;
    writeRtf();
    EXPECT_TRUE(convert());
    EXPECT_FALSE(fs::exists(rtf));
    EXPECT_FALSE(fs::exists(dir / "1001.htm"));
  }
  EXPECT_EQ(calls.calls.back(), "Close 0") << "the document is closed after a failed save";
  EXPECT_EQ(calls.created, 1);
  EXPECT_FALSE(test.reporter.ReportShown());
}

// The cut of the converted page. Inputs and results are built from the marks the page is
// searched for: the section division in two spellings and four separator paragraphs.
TEST(FilteredWordHtml, CutsFromTheSectionDivisionThroughTheFirstSeparatorFound) {
  const std::string sep1 = "<p class=MsoNormal>&nbsp;</p>";
  const std::string sep2 =
      "<p class=MsoNormal style='margin-top:5.0pt;margin-right:0in;margin-bottom:5.0pt;"
      "\r\nmargin-left:0in;text-autospace:none'>";
  const std::string sep3 =
      "<p class=MsoNormal style='margin-top:5.0pt;margin-right:0cm;margin-bottom:5.0pt;"
      "\r\nmargin-left:0cm;text-autospace:none'>";
  const std::string sep4 = "<p class=MsoNormal style='text-autospace:none'>";
  const std::string div = "<div class=Section1>";
  const std::string DIV = "<DIV class=Section1>";
  const std::string head = "<html><head><style>p {}</style></head><body lang=EN-US>";

  const struct {
    const char* name;
    std::string input;
    std::string expected;
  } cases[] = {
      {"no division", head + "<p>text</p>" + sep1 + "</body>",
       head + "<p>text</p>" + sep1 + "</body>"},
      {"division without separators", head + div + "<p class=MsoNormal>text</p></div>",
       head + div + "<p class=MsoNormal>text</p></div>"},
      {"first separator", head + div + sep1 + "<p>Body</p></div></body>",
       head + "\r\n<p>Body</p></div></body>"},
      {"upper-case division", head + DIV + sep1 + "Body</DIV>", head + "\r\nBody</DIV>"},
      {"second separator with its CR LF", head + div + sep2 + "Text</p></div>",
       head + "\r\nText</p></div>"},
      {"third separator", head + div + sep3 + "Text</p></div>", head + "\r\nText</p></div>"},
      {"fourth separator", head + div + sep4 + "Text</p></div>", head + "\r\nText</p></div>"},
      {"first form wins over an earlier later form", head + div + sep4 + "A" + sep1 + "B",
       head + "\r\nB"},
      {"lower-case division wins over an earlier upper-case one",
       "H" + DIV + "I" + div + sep1 + "J", "H" + DIV + "I" + "\r\nJ"},
      {"separator before the division repeats the text between them",
       "<head>" + sep1 + "between" + div + "after",
       "<head>" + sep1 + "between" + "\r\n" + "between" + div + "after"},
  };
  testing::TestServices test;
  for (const auto& c : cases) {
    EXPECT_EQ(fncFilteredWordHTML(test.services, c.input), c.expected) << c.name << ": " << c.input;
  }
  EXPECT_FALSE(test.reporter.ReportShown());
}

}  // namespace
}  // namespace lorva
