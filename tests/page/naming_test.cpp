#include "page/naming.h"

#include <gtest/gtest.h>

#include <string>

#include "support_code/test_services.h"

namespace lorva {
namespace {

TEST(FncStripInvalidCharactersTest, RemovesTheNineCharactersOnly) {
  testing::TestServices test;
  const struct {
    std::string subject, expected;
  } cases[] = {
      {"a\\b/c?d*e:f\"g<h>i|j", "abcdefghij"},
      {std::string("nul\0bell\x07"
                   "del\x7F"
                   "c1\xC2\x85tab\t",
                   21),
       "nul bell del c1 tab "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("subject: " + c.subject);
    EXPECT_EQ(fncStripInvalidCharacters(test.services, c.subject), c.expected);
  }
}

std::string Times(int n, const std::string& text) {
  std::string out;
  for (int i = 0; i < n; ++i) out += text;
  return out;
}

// Paths of more than 249 characters are cut to 245 and ".htm", never into the destination; a
// name is kept within 255 bytes, on a character boundary.
TEST(PagePathTest, CutsLongPathsWithinTheDestination) {
  const std::string d243 = std::string("/").append(242, 'd');
  const struct {
    std::string folder, name, expected;
  } cases[] = {
      {"/srv/kb", std::string(237, 'n') + ".htm", "/srv/kb/" + std::string(237, 'n') + ".htm"},
      {"/srv/kb", std::string(238, 'n') + ".htm", "/srv/kb/" + std::string(237, 'n') + ".htm"},
      {d243, "Printer jams.htm", d243 + "/P.htm"},
      {std::string("/").append(243, 'd'), "Printer jams.htm",
       std::string("/").append(243, 'd') + "/Printer jams.htm"},
      // Characters, not bytes, count towards the path; bytes towards the name.
      {"/kb", Times(120, "\xD0\x96") + ".htm", "/kb/" + Times(120, "\xD0\x96") + ".htm"},
      {"/kb", Times(230, "\xD0\x96") + ".htm", "/kb/" + Times(125, "\xD0\x96") + ".htm"},
      {"/k", Times(300, "\xE6\x97\xA5") + ".htm", "/k/" + Times(83, "\xE6\x97\xA5") + ".htm"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.folder.size()) + " + " + std::to_string(c.name.size()) + ": " +
                 c.name.substr(0, 20));
    EXPECT_EQ(PagePath(c.folder, c.name), c.expected);
  }
}

// A taken name's number stays whole within the path limits; only the name before it is cut (the
// run's own collisions are checked through its index).
TEST(PageNamesTest, NumberedNameKeepsWithinThePathLimits) {
  const std::string d = "/srv/kb";
  const std::string longName = PagePath(d, std::string(240, 's') + ".htm");  // cut to 249
  const std::string wide = Times(83, "\xE6\x97\xA5");                // 249 bytes, with ".htm" 253
  const std::string longFolder = std::string("/").append(246, 'd');  // no room for the number
  const struct {
    std::string path, second;
  } cases[] = {
      {longName, d + "/" + std::string(233, 's') + " (2).htm"},
      {d + "/" + wide + ".htm", d + "/" + wide.substr(0, 246) + " (2).htm"},
      {longFolder + "/x.htm", longFolder + "/x (2).htm"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    PageNames names;
    EXPECT_EQ(names.Reserve(c.path), c.path);
    EXPECT_EQ(names.Peek(c.path), c.second);
    EXPECT_EQ(names.Reserve(c.path), c.second);
  }
}

}  // namespace
}  // namespace lorva
