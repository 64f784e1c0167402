#include "page/support_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "resources/embedded.h"
#include "support_code/temp_folder.h"
#include "support_code/test_services.h"

namespace lorva {
namespace {

// The style sheet's 47 lines as the original carries them (CR LF between lines, none after the
// last). The first and the last are the style element's tags, which a style sheet file must not
// hold (a browser drops the first rule after them): the file is the lines between.
const char* const kStyleLines[] = {
    "<style type=\"text/css\">",
    "",
    "",
    "",
    "a {text-decoration: none}",
    "",
    "        ul",
    "        {",
    "            list-style-image: url('images/bulletredsmall.gif');",
    "\t    list-style-type: circle",
    "",
    "        }",
    "",
    "        .LiStyle",
    "        {",
    "            line-height: 150%;",
    "        }",
    "",
    "",
    "hr ",
    "{",
    "\tcolor:#FF6600;",
    "\tsize:2",
    "}",
    "",
    "",
    "h1",
    "{",
    "\tfont-family: Verdana;",
    "\tcolor:Black;",
    "  \tfont-weight:bold;",
    "\tfont-style:italic;   ",
    "  \tfont-size: 10pt; ",
    "\ttext-align:left",
    "}",
    "",
    "",
    "BODY ",
    "{ ",
    "\tfont-family: Verdana; ",
    "\ttext-align:left; ",
    "\tfont-size: 8.5pt",
    "}",
    "",
    "",
    "",
    "</STYLE>",
};

std::string ExpectedStyleSheet() {
  std::string text;
  for (std::size_t i = 1; i + 1 < std::size(kStyleLines); ++i) {
    if (i > 1) text += "\r\n";
    text += kStyleLines[i];
  }
  return text;
}

class SupportFilesTest : public ::testing::Test {
 protected:
  testing::TempFolder folder;
  testing::TestServices test;
};

TEST_F(SupportFilesTest, WritesStyleSheetAndBulletImage) {
  ASSERT_EQ(sizeof kStyleLines / sizeof kStyleLines[0], 47u);
  subExtractFilesFromResource(test.services, folder.str(), 0);
  const std::string css = testing::TempFolder::Read(folder / "style.css");
  EXPECT_EQ(css.size(), 541u - 23 - 2 - 2 - 8) << "without the two tag lines";
  EXPECT_EQ(css, ExpectedStyleSheet());
  EXPECT_EQ(css.substr(0, 33), "\r\n\r\n\r\na {text-decoration: none}\r\n");
  EXPECT_TRUE(std::filesystem::is_directory(folder / "Images"));
  const auto gif = resources::Find("BULLETREDSMALL.GIF");
  ASSERT_TRUE(gif.has_value());
  EXPECT_EQ(testing::TempFolder::Read(folder / "Images/bulletredsmall.gif"),
            std::string(gif->begin(), gif->end()));
  // The style sheet asks for "images/bulletredsmall.gif": on a file system that keeps letter
  // case the bullet must be found there too.
  EXPECT_EQ(testing::TempFolder::Read(folder / "images/bulletredsmall.gif"),
            std::string(gif->begin(), gif->end()));
  EXPECT_FALSE(std::filesystem::exists(folder / "outline.js"));
  EXPECT_EQ(test.reporter.fncGetCurrentStep(),
            "Writing file to " + folder.str() + "/Images/bulletredsmall.gif");
}

TEST_F(SupportFilesTest, BulletImageIsAnEightByEightGifWithALocalTableOf64Colours) {
  const auto found = resources::Find("BULLETREDSMALL.GIF");
  ASSERT_TRUE(found.has_value());
  const std::string gif(found->begin(), found->end());
  ASSERT_EQ(gif.size(), 271u);
  const auto byte = [&gif](std::size_t i) { return static_cast<unsigned char>(gif[i]); };
  EXPECT_EQ(gif.substr(0, 6), "GIF89a");
  EXPECT_EQ(byte(6) | byte(7) << 8, 8);  // logical screen 8 x 8
  EXPECT_EQ(byte(8) | byte(9) << 8, 8);
  EXPECT_EQ(byte(10) & 0x80, 0);  // no global colour table
  // No extension blocks (transparency, animation): the image descriptor follows directly.
  EXPECT_EQ(byte(13), 0x2C);
  EXPECT_EQ(byte(18) | byte(19) << 8, 8);  // image 8 x 8
  EXPECT_EQ(byte(20) | byte(21) << 8, 8);
  EXPECT_EQ(byte(22) & 0x80, 0x80);       // local colour table
  EXPECT_EQ(2 << (byte(22) & 0x07), 64);  // of 64 colours
  EXPECT_EQ(byte(22) & 0x40, 0);          // not interlaced
  const std::size_t data = 23 + 64 * 3;   // LZW minimum code size
  EXPECT_EQ(byte(data), 6);
  // The data sub-blocks end with an empty one, then the trailer ends the file.
  std::size_t pos = data + 1;
  while (pos < gif.size() && byte(pos) != 0) pos += 1 + byte(pos);
  EXPECT_EQ(pos, gif.size() - 2);
  EXPECT_EQ(byte(gif.size() - 1), 0x3B);
}

TEST_F(SupportFilesTest, ExistingFilesAreCutToTheNewLengthAndImagesFolderIsKept) {
  std::filesystem::create_directory(folder / "Images");
  folder.Write("style.css", std::string(2000, 'x'));
  folder.Write("outline.js", "earlier script");
  subExtractFilesFromResource(test.services, folder.str(), 0);
  EXPECT_EQ(testing::TempFolder::Read(folder / "style.css"), ExpectedStyleSheet());
  EXPECT_EQ(testing::TempFolder::Read(folder / "outline.js"), "earlier script");
  EXPECT_TRUE(std::filesystem::exists(folder / "Images/bulletredsmall.gif"));
  // "Creating the folder " was never recorded; the last step names the image.
  EXPECT_EQ(test.reporter.fncGetCurrentStep(),
            "Writing file to " + folder.str() + "/Images/bulletredsmall.gif");
}

TEST_F(SupportFilesTest, CollapsibleOutlineAlsoWritesTheScript) {
  test.MakeReportsReturn();
  subExtractFilesFromResource(test.services, folder.str(), 1);
  const auto script = resources::Find("OUTLINE.JS");
  if (script) {
    EXPECT_EQ(testing::TempFolder::Read(folder / "outline.js"),
              std::string(script->begin(), script->end()));
    EXPECT_TRUE(std::filesystem::exists(folder / "Images/bulletredsmall.gif"));
    EXPECT_TRUE(test.dialogs.shown().empty());
  } else {
    // Without the script among the resources the routine fails there, after the style sheet.
    EXPECT_TRUE(std::filesystem::exists(folder / "style.css"));
    EXPECT_FALSE(std::filesystem::exists(folder / "Images"));
    EXPECT_NE(test.LastErrorDialog().find("Sub routine : subExtractFilesFromResource \r\n"),
              std::string::npos);
  }
}

TEST_F(SupportFilesTest, UnwritableDestinationIsReported) {
  EXPECT_THROW(subExtractFilesFromResource(test.services, folder / "missing", 0), ProgramEnded);
  const std::string dialog = test.LastErrorDialog();
  EXPECT_NE(dialog.find("This error has occured: :\r\nWriting file to " + folder.str() +
                        "/missing/style.css\r\n"),
            std::string::npos)
      << dialog;
  EXPECT_NE(dialog.find("Sub routine : subExtractFilesFromResource \r\n"), std::string::npos);
}

}  // namespace
}  // namespace lorva
