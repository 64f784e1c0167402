#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support_code/program_fixture.h"

namespace lorva::testing {
namespace {

// The outline of a grouped index from rows "#category", "*type" and "file=subject" (a subject
// alone links its page named by subject); `li` opens each list item.
std::string Outline(const std::vector<std::string>& rows, const std::string& li = "<li>") {
  std::string out;
  bool inType = false, inCategory = false;
  auto close = [&](bool category) {
    if (inType) out += "</ul></li>";
    if (category && inCategory) out += "</ul></li><br>";
    inType = false;
  };
  for (const std::string& row : rows) {
    if (row[0] == '#' || row[0] == '*') {
      close(row[0] == '#');
      (row[0] == '#' ? inCategory : inType) = true;
      out += li + "<p class=\"LiStyle\"><b>" + row.substr(1) + "</b></p><ul>";
      continue;
    }
    const std::size_t eq = row.find('=');
    std::string file = row.substr(0, eq);
    for (std::size_t at; eq == std::string::npos && (at = file.find(' ')) != std::string::npos;)
      file.replace(at, 1, "%20");
    out += li + "<p class=\"LiStyle\"><a href='" +
           (eq == std::string::npos ? file + ".htm" : file) + "'>" +
           row.substr(eq == std::string::npos ? 0 : eq + 1) + "</a></p></li>";
  }
  close(true);
  return out;
}

class GroupedRunTest : public ProgramFixture {
 protected:
  void SetUp() override {
    Add(FakeItem::Post("Toner low", "Hardware", "FAQ"));
    Add(FakeItem::Post("Driver update", "Software", "How-to"));
    Add(FakeItem::Post("Paper jam", "hardware", "faq"));  // letter case differs: matches
    Add(FakeItem::Post("Reinstall", "Software", "FAQ"));
    Add(FakeItem::Post("Padded", " Hardware", "FAQ"));  // blank at the start: no match
    Add(FakeItem::Post("No type", "Hardware", ""));     // never exported
    Add(FakeItem::Post("Network", "Network", "How-to"));
  }
  // Loads the window for a grouped run with every category and type ticked but `unticked`.
  void LoadGrouped(int collapse, const std::vector<std::string>& unticked = {}) {
    Load();
    ASSERT_TRUE(form->optGroup.IsSelected(0));
    form->chkAttachments.SetValue(0);
    form->chkCollapse.SetValue(collapse);
    Tick(unticked);
  }
  void Tick(const std::vector<std::string>& unticked) {
    for (ui::CheckedListBox* list : {&form->lstProblemCategory, &form->lstProblemType}) {
      for (int i = 0; i < list->ListCount(); ++i) {
        list->SetSelected(
            i, std::find(unticked.begin(), unticked.end(), list->List(i)) == unticked.end());
      }
    }
  }
  std::string PlainIndex(const std::vector<std::string>& rows) {
    return kPlainHead + "<ul>" + Outline(rows) + kIndexClosing;
  }
};

// Lists: categories Hardware, Network, Software; types FAQ, How-to. Only ticked pairs with
// matching items get headings; an unreadable item is passed over. An item at position i of the
// folder's n items, under the p-th ticked pair (every ticked type of every ticked category, in
// list order), is numbered first number + 1 + p * n + i. Each item is fetched once in a run,
// whatever the run does with it (its page, rich-text copy, attachments and inline images).
TEST_F(GroupedRunTest, IndexGroupsTheTickedPairsAndNumbersByPairAndPosition) {
  const struct {
    std::vector<std::string> unticked;  // categories and types
    const char* firstNumber;            // numbered pages from this number; none: by subject
    std::vector<int> unreadable;
    std::vector<std::string> outline;
  } cases[] = {
      {{"Network"},
       nullptr,
       {},
       {"#Hardware", "*FAQ", "Paper jam", "Toner low", "#Software", "*FAQ", "Reinstall", "*How-to",
        "Driver update"}},
      {{"FAQ"},
       "1000",
       {},
       {"#Network", "*How-to", "1014.htm=Network", "#Software", "*How-to",
        "1016.htm=Driver update"}},
      {{"Hardware", "Network", "Software"}, nullptr, {}, {}},
      {{"How-to"},
       "1000",
       {1},  // Toner low: its number is used up all the same
       {"#Hardware", "*FAQ", "1003.htm=Paper jam", "#Software", "*FAQ", "1018.htm=Reinstall"}},
      // Six pairs over seven items: 32761 to 32802, far past the first number's range.
      {{},
       "32760",
       {},
       {"#Hardware", "*FAQ", "32763.htm=Paper jam", "32761.htm=Toner low", "#Network", "*How-to",
        "32788.htm=Network", "#Software", "*FAQ", "32792.htm=Reinstall", "*How-to",
        "32797.htm=Driver update"}},
  };
  LoadGrouped(0);
  form->chkAttachments.SetValue(1);
  int run = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE("unticked: " + ::testing::PrintToString(c.unticked));
    const std::string out = "run" + std::to_string(run++) + "/";
    std::filesystem::create_directory(folder / out);
    form->txtDestination.SetText(folder / out);
    Tick(c.unticked);
    form->optNaming.Select(c.firstNumber ? 1 : 0);
    if (c.firstNumber) form->txtNumbering.SetText(c.firstNumber);
    kb->unreadable = c.unreadable;
    kb->fetches = 0;
    Generate();
    EXPECT_EQ(kb->fetches, c.outline.empty() ? 0 : 7);
    EXPECT_EQ(Read(out + "index.htm"), PlainIndex(c.outline));
    int pages = 0;
    for (const std::string& row : c.outline) {
      const std::size_t eq = row.find('=');
      if (row[0] == '#' || row[0] == '*') continue;
      ++pages;
      const std::string page = eq == std::string::npos ? row + ".htm" : row.substr(0, eq);
      EXPECT_NE(Read(out + page).find("<h1>" + row.substr(eq + 1) + "</h1>"), std::string::npos)
          << page;
    }
    EXPECT_EQ(form->LastRun().pagesWritten, pages);
  }
  EXPECT_FALSE(Exists("run0/outline.js"));
}

// The second run, without overwriting, skips the pair's only item and keeps its headings.
TEST_F(GroupedRunTest, CollapsibleOutlineOpensCollapsedOrNotAndKeepsSkippedPairs) {
  for (int initially : {1, 0}) {
    SCOPED_TRACE(initially ? "collapsed at first" : "open at first");
    LoadGrouped(1, {"Hardware", "Software"});
    form->chkCollapseInitially.SetValue(initially);
    form->chkOverwrite.SetValue(0);
    Generate();
    EXPECT_EQ(Read("index.htm"),
              kCollapsibleHead +
                  (initially ? "<ul dynamicoutline initcollapsed>" : "<ul dynamicoutline>") +
                  Outline(initially ? std::vector<std::string>{"#Network", "*How-to", "Network"}
                                    : std::vector<std::string>{"#Network", "*How-to"},
                          "<li STYLE=\"cursor:hand\">") +
                  kIndexClosing);
    EXPECT_TRUE(Exists("outline.js"));
    form.reset();
    connection->objKBFolder.reset();
    UseRoute(route);
  }
}

TEST_F(GroupedRunTest, CancelTakesEffectAtTheNextItemAndTheIndexListsThePagesWritten) {
  LoadGrouped(0);
  // One yield per item: cancelled before the fourth item (Reinstall) is read.
  pump.actions[4] = [&] {
    ASSERT_EQ(form->cmdGenerate.Caption(), "Cancel..");
    form->cmdGenerate_Click();
    EXPECT_EQ(form->cmdGenerate.Caption(), "Generate");
    form->cmdGenerate_Click();  // "Generate" again while the run still finishes: refused
  };
  Generate();
  EXPECT_EQ(pump.yields, 4);
  EXPECT_EQ(Read("index.htm"), PlainIndex({"#Hardware", "*FAQ", "Paper jam", "Toner low",
                                           "#Software", "*How-to", "Driver update"}));
  EXPECT_EQ(form->LastRun().outcome, RunSummary::Outcome::kCancelled);
  EXPECT_EQ(form->LastRun().pagesWritten, 3);
  EXPECT_FALSE(form->runner().Running());
}

// Categories and types are escaped, and text beyond ASCII comes out as numeric references, in
// the index and on the pages.
TEST_F(GroupedRunTest, SameSubjectInTwoPairsGetsAPageInEachUnderEscapedHeadings) {
  Add(FakeItem::Post("Toner low", "Software", "FAQ", "<html><body>software toner</body></html>"));
  Add(FakeItem::Post("Q", "R&D <lab> \xCE\x9A", "\"Quoted\" \xE6\x97\xA5"));
  LoadGrouped(0, {"How-to"});
  Generate();
  EXPECT_EQ(Read("index.htm"),
            PlainIndex({"#Hardware", "*FAQ", "Paper jam", "Toner low",
                        "#R&amp;D &lt;lab&gt; &#922;", "*&quot;Quoted&quot; &#26085;", "Q",
                        "#Software", "*FAQ", "Reinstall", "Toner%20low%20(2).htm=Toner low"}));
  EXPECT_EQ(Read("Toner low.htm").find("software toner"), std::string::npos);
  EXPECT_NE(Read("Toner low (2).htm").find("software toner"), std::string::npos);
  EXPECT_NE(Read("Q.htm").find("<b>Problem Type     : </b>&quot;Quoted&quot; &#26085;<br><b>"
                               "Problem Category : </b>R&amp;D &lt;lab&gt; &#922;<br>"),
            std::string::npos);
}

}  // namespace
}  // namespace lorva::testing
