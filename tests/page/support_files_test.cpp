#include "page/support_files.h"

#include <gtest/gtest.h>

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
  std::string Resource(const char* name) {
    const auto bytes = resources::Find(name);
    return bytes ? std::string(bytes->begin(), bytes->end()) : "";
  }
  testing::TempFolder folder;
  testing::TestServices test;
};

// Every run writes the style sheet and the bullet again, whatever stands there; only the
// collapsible outline writes the script, and an earlier script stays otherwise.
TEST_F(SupportFilesTest, WritesTheStyleSheetTheBulletAndOnlyWhenAskedTheScript) {
  ASSERT_EQ(std::size(kStyleLines), 47u);
  folder.Write("style.css", std::string(2000, 'x'));
  folder.Write("outline.js", "earlier script");
  subExtractFilesFromResource(test.services, folder.str(), 0);
  EXPECT_EQ(testing::TempFolder::Read(folder / "style.css"), ExpectedStyleSheet());
  EXPECT_EQ(testing::TempFolder::Read(folder / "outline.js"), "earlier script");
  // The style sheet asks for "images/bulletredsmall.gif": on a file system that keeps letter
  // case the bullet must be found there too.
  const std::string gif = Resource("BULLETREDSMALL.GIF");
  EXPECT_EQ(gif.size(), 271u);
  EXPECT_EQ(testing::TempFolder::Read(folder / "Images/bulletredsmall.gif"), gif);
  EXPECT_EQ(testing::TempFolder::Read(folder / "images/bulletredsmall.gif"), gif);
  EXPECT_EQ(test.reporter.fncGetCurrentStep(),
            "Writing file to " + folder.str() + "/Images/bulletredsmall.gif");

  subExtractFilesFromResource(test.services, folder.str(), 1);
  EXPECT_EQ(testing::TempFolder::Read(folder / "outline.js"), Resource("OUTLINE.JS"));
  EXPECT_TRUE(test.dialogs.shown().empty());
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
