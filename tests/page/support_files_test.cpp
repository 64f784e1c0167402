#include "page/support_files.h"

#include <gtest/gtest.h>

#include <string>

#include "resources/embedded.h"
#include "support_code/temp_folder.h"
#include "support_code/test_services.h"

namespace lorva {
namespace {

// The style sheet as the original carries it, CR LF between its lines and none after the last,
// without the style element's tags around it (a browser drops the first rule after them).
const char kStyleSheet[] =
    "\r\n\r\n\r\na {text-decoration: none}\r\n\r\n        ul\r\n        {\r\n"
    "            list-style-image: url('images/bulletredsmall.gif');\r\n"
    "\t    list-style-type: circle\r\n\r\n        }\r\n\r\n        .LiStyle\r\n        {\r\n"
    "            line-height: 150%;\r\n        }\r\n\r\n\r\nhr \r\n{\r\n\tcolor:#FF6600;\r\n"
    "\tsize:2\r\n}\r\n\r\n\r\nh1\r\n{\r\n\tfont-family: Verdana;\r\n\tcolor:Black;\r\n"
    "  \tfont-weight:bold;\r\n\tfont-style:italic;   \r\n  \tfont-size: 10pt; \r\n"
    "\ttext-align:left\r\n}\r\n\r\n\r\nBODY \r\n{ \r\n\tfont-family: Verdana; \r\n"
    "\ttext-align:left; \r\n\tfont-size: 8.5pt\r\n}\r\n\r\n\r\n";

std::string Resource(const char* name) {
  const auto bytes = resources::Find(name);
  return bytes ? std::string(bytes->begin(), bytes->end()) : "";
}

// Every run writes the style sheet and the bullet again, whatever stands there; only the
// collapsible outline writes the script, and an earlier script stays otherwise. A destination
// that cannot be written is reported.
TEST(SupportFilesTest, WritesTheStyleSheetTheBulletAndOnlyWhenAskedTheScript) {
  testing::TempFolder folder;
  testing::TestServices test;
  folder.Write("style.css", std::string(2000, 'x'));
  folder.Write("outline.js", "earlier script");
  subExtractFilesFromResource(test.services, folder.str(), 0);
  EXPECT_EQ(testing::TempFolder::Read(folder / "style.css"), kStyleSheet);
  EXPECT_EQ(testing::TempFolder::Read(folder / "outline.js"), "earlier script");
  // The style sheet asks for "images/bulletredsmall.gif": on a file system that keeps letter
  // case the bullet must be found there too.
  const std::string gif = Resource("BULLETREDSMALL.GIF");
  EXPECT_EQ(testing::TempFolder::Read(folder / "Images/bulletredsmall.gif"), gif);
  EXPECT_EQ(testing::TempFolder::Read(folder / "images/bulletredsmall.gif"), gif);

  subExtractFilesFromResource(test.services, folder.str(), 1);
  EXPECT_EQ(testing::TempFolder::Read(folder / "outline.js"), Resource("OUTLINE.JS"));
  EXPECT_TRUE(test.dialogs.shown().empty());

  EXPECT_THROW(subExtractFilesFromResource(test.services, folder / "missing", 0), ProgramEnded);
  EXPECT_NE(
      test.LastErrorDialog().find("Writing file to " + folder.str() + "/missing/style.css\r\n"),
      std::string::npos);
}

}  // namespace
}  // namespace lorva
