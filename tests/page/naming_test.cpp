#include "page/naming.h"

#include <gtest/gtest.h>

#include <string>

#include "support_code/test_services.h"

namespace lorva {
namespace {

TEST(FncStripInvalidCharactersTest, RemovesTheNineCharactersOnly) {
  testing::TestServices test;
  struct Case {
    std::string subject, expected;
  };
  const Case cases[] = {
      {"Why does it jam?", "Why does it jam"},
      {"Input / Output: setup", "Input  Output setup"},
      {"a\\b/c?d*e:f\"g<h>i|j", "abcdefghij"},
      {"It's #1 at 100% & more; ok", "It's #1 at 100% & more; ok"},
      {"  padded  ", "  padded  "},
      {"Caf\xC3\xA9 \xE2\x80\x94 menu", "Caf\xC3\xA9 \xE2\x80\x94 menu"},
      {std::string("nul\0bell\x07"
                   "del\x7F"
                   "c1\xC2\x85tab\t",
                   21),
       "nul bell del c1 tab "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("subject: " + c.subject);
    EXPECT_EQ(fncStripInvalidCharacters(test.services, c.subject), c.expected);
  }
}

TEST(FncStripInvalidCharactersTest, NothingLeftGivesTheNextPseudoRandomName) {
  testing::TestServices test;
  RandomSequence::Reset();
  EXPECT_EQ(fncStripInvalidCharacters(test.services, "???"), "NULL_0.7055475.htm");
  EXPECT_EQ(fncStripInvalidCharacters(test.services, ""), "NULL_0.533424.htm");
  EXPECT_EQ(fncStripInvalidCharacters(test.services, " / "), "NULL_0.5795186.htm");
  EXPECT_EQ(PageName(test.services, true, "", 1000), "NULL_0.2895625.htm.htm");
  RandomSequence::Reset();
}

TEST(RandomSequenceTest, FollowsTheUnseededSequence) {
  RandomSequence::Reset();
  const float expected[] = {0.7055475f, 0.533424f, 0.5795186f, 0.2895625f, 0.301948f};
  for (const float value : expected) EXPECT_FLOAT_EQ(RandomSequence::Next(), value);
  RandomSequence::Reset();
  EXPECT_FLOAT_EQ(RandomSequence::Next(), 0.7055475f);
  RandomSequence::Reset();
}

TEST(PageNameTest, SubjectOrCounter) {
  testing::TestServices test;
  EXPECT_EQ(PageName(test.services, true, "Printer: jams", 1000), "Printer jams.htm");
  EXPECT_EQ(PageName(test.services, false, "Printer: jams", 1000), "1000.htm");
  EXPECT_EQ(PageName(test.services, false, "x", -32768), "-32768.htm");
  EXPECT_EQ(PageName(test.services, false, "x", 0), "0.htm");
  EXPECT_EQ(PageName(test.services, false, "x", 201000), "201000.htm");
}

TEST(PagePathTest, CutsPathsOf250CharactersOrMore) {
  const std::string folder = "/srv/kb";  // 7 characters, then "/"
  struct Case {
    std::size_t nameLength;  // characters of the name before ".htm"
    std::size_t expectedLength;
  };
  const Case cases[] = {{237, 249}, {238, 249}, {239, 249}, {100, 112}};
  for (const Case& c : cases) {
    SCOPED_TRACE("name length " + std::to_string(c.nameLength));
    const std::string name = std::string(c.nameLength, 'n') + ".htm";
    const std::string path = PagePath(folder, name);
    EXPECT_EQ(path.size(), c.expectedLength);
    EXPECT_EQ(path.substr(path.size() - 4), ".htm");
    EXPECT_EQ(path.substr(0, 8), "/srv/kb/");
  }
  // Exactly 249 characters stays as it is; 250 becomes the first 245 and ".htm".
  const std::string at249 = std::string(237, 'a') + ".htm";
  EXPECT_EQ(PagePath(folder, at249), folder + "/" + at249);
  const std::string at250 = std::string(238, 'a') + ".htm";
  EXPECT_EQ(PagePath(folder, at250), folder + "/" + std::string(237, 'a') + ".htm");
}

TEST(PagePathTest, LongDestinationKeepsTheWholeNameInsideIt) {
  // The cut would leave nothing of the name, or reach into the destination: the page stays in the
  // destination, its name whole.
  for (const std::size_t folderLength : {244u, 245u, 250u}) {
    SCOPED_TRACE("destination of " + std::to_string(folderLength) + " characters");
    const std::string folder = std::string("/").append(folderLength - 1, 'd');
    EXPECT_EQ(PagePath(folder, "Printer jams.htm"), folder + "/Printer jams.htm");
  }
  // One character of the name is left: the cut applies.
  const std::string folder = std::string("/").append(242, 'd');  // 243 characters, then "/"
  EXPECT_EQ(PagePath(folder, "Printer jams.htm"), folder + "/P.htm");
}

TEST(PagePathTest, CountsCharactersNotBytes) {
  // 120 two-byte letters: 240 bytes of name, well within both limits in characters.
  std::string cyrillic;
  for (int i = 0; i < 120; ++i) cyrillic += "\xD0\x96";
  const std::string name = cyrillic + ".htm";
  EXPECT_EQ(PagePath("/kb", name), "/kb/" + name);

  // 240 characters of path, but a name of 480 bytes: cut to the file system's 255 bytes on a
  // character boundary, keeping ".htm".
  std::string longer;
  for (int i = 0; i < 230; ++i) longer += "\xD0\x96";
  const std::string path = PagePath("/kb", longer + ".htm");
  std::string expected;
  for (int i = 0; i < 125; ++i) expected += "\xD0\x96";
  EXPECT_EQ(path, "/kb/" + expected + ".htm");
  EXPECT_LE(path.size() - 4, 255u);
}

TEST(PagePathTest, CutKeepsWholeCharacters) {
  // Three-byte characters around the 245-character cut.
  std::string name;
  for (int i = 0; i < 300; ++i) name += "\xE6\x97\xA5";
  const std::string path = PagePath("/k", name + ".htm");
  // The name part is cut to 251 bytes and a whole number of characters: 83 characters.
  std::string expected;
  for (int i = 0; i < 83; ++i) expected += "\xE6\x97\xA5";
  EXPECT_EQ(path, "/k/" + expected + ".htm");
}

// A taken name's number stays whole within the path limits; only the name before it is cut (the
// run's own collisions are checked through its index).
TEST(PageNamesTest, NumberedNameKeepsWithinThePathLimits) {
  const std::string d = "/srv/kb";
  const std::string longName = PagePath(d, std::string(240, 's') + ".htm");  // cut to 249
  std::string wide;  // 83 three-byte characters: 249 bytes, with ".htm" 253
  for (int i = 0; i < 83; ++i) wide += "\xE6\x97\xA5";
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
