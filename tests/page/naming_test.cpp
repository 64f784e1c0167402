#include "page/naming.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    const std::string folder = "/" + std::string(folderLength - 1, 'd');
    EXPECT_EQ(PagePath(folder, "Printer jams.htm"), folder + "/Printer jams.htm");
  }
  // One character of the name is left: the cut applies.
  const std::string folder = "/" + std::string(242, 'd');  // 243 characters, then "/"
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

// Each row: the page paths the run forms, in the order articles are taken up, and the paths they
// get. The first keeps its name; a later one whose name is taken gets the smallest free number.
TEST(PageNamesTest, NoTwoArticlesShareAPage) {
  struct Case {
    const char* what;
    std::vector<std::string> formed, expected;
  };
  const std::string d = "/srv/kb";
  const std::string longStem(240, 's');  // with "/srv/kb/" and ".htm": 252 characters
  const std::string cutStem = longStem.substr(0, 237);  // as PagePath cuts it
  std::string wide;                                     // 80 three-byte characters: 240 bytes
  for (int i = 0; i < 80; ++i) wide += "\xE6\x97\xA5";
  const Case cases[] = {
      {"distinct names stay", {d + "/a.htm", d + "/b.htm"}, {d + "/a.htm", d + "/b.htm"}},
      {"same name",
       {d + "/ab.htm", d + "/ab.htm", d + "/ab.htm"},
       {d + "/ab.htm", d + "/ab (2).htm", d + "/ab (3).htm"}},
      {"letter case ignored", {d + "/AB.htm", d + "/ab.htm"}, {d + "/AB.htm", d + "/ab (2).htm"}},
      {"index.htm belongs to the table of contents",
       {d + "/index.htm", d + "/INDEX.htm", d + "/index.htm"},
       {d + "/index (2).htm", d + "/INDEX (3).htm", d + "/index (4).htm"}},
      {"a numbered name that is taken already is skipped",
       {d + "/ab (2).htm", d + "/ab.htm", d + "/ab.htm"},
       {d + "/ab (2).htm", d + "/ab.htm", d + "/ab (3).htm"}},
      {"the number fits the 249-character path",
       {PagePath(d, longStem + ".htm"), PagePath(d, longStem + ".htm")},
       {d + "/" + cutStem + ".htm", d + "/" + cutStem.substr(0, 233) + " (2).htm"}},
      {"the number fits the 255-byte name",
       {d + "/" + wide + wide.substr(0, 9) + ".htm", d + "/" + wide + wide.substr(0, 9) + ".htm"},
       {d + "/" + wide + wide.substr(0, 9) + ".htm",
        d + "/" + wide + wide.substr(0, 6) + " (2).htm"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PageNames names;
    std::vector<std::string> given;
    for (const std::string& path : c.formed) {
      EXPECT_EQ(names.Peek(path), names.Peek(path)) << "peeking takes nothing";
      given.push_back(names.Reserve(path));
    }
    EXPECT_EQ(given, c.expected);
  }
}

TEST(PageNamesTest, DestinationTooLongForTheNumberKeepsTheNameWhole) {
  const std::string folder = "/" + std::string(246, 'd');
  PageNames names;
  EXPECT_EQ(names.Reserve(folder + "/x.htm"), folder + "/x.htm");
  EXPECT_EQ(names.Reserve(folder + "/x.htm"), folder + "/x (2).htm");
}

}  // namespace
}  // namespace lorva
