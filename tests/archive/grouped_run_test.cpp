#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "archive/run_fixture.h"

namespace lorva::testing {
namespace {

const std::string kCollapsibleHead =
    "<html><head><title>Table of Contents</title>"
    "<LINK REL=\"STYLESHEET\" HREF=\"style.css\" TYPE=\"text/css\" />"
    "\r\n"
    "<script language=\"JavaScript\" fptype=\"dynamicoutline\">\r\n<!--\r\n"
    "function dynOutline() {}\r\n//-->\r\n</script>\r\n\r\n"
    "<script language=\"JavaScript1.2\" fptype=\"dynamicoutline\" src=\"outline.js\">\r\n"
    "</script>\r\n\r\n"
    "<script language=\"JavaScript1.2\" fptype=\"dynamicoutline\" for=\"document\" "
    "event=\"onreadystatechange()\">\r\n<!--\r\ninitOutline()\r\n//-->\r\n</script>"
    "</head>"
    "\r\n"
    "<body onclick=\"dynOutline()\" language=\"Javascript1.2\"><h1>Table of Contents</h1></p>";

std::string Heading(const std::string& text) {
  return "<li><p class=\"LiStyle\"><b>" + text + "</b></p><ul>";
}
std::string Entry(const std::string& file, const std::string& subject) {
  return "<li><p class=\"LiStyle\"><a href='" + file + "'>" + subject + "</a></p></li>";
}
std::string CHeading(const std::string& text) {
  return "<li STYLE=\"cursor:hand\"><p class=\"LiStyle\"><b>" + text + "</b></p><ul>";
}
std::string CEntry(const std::string& file, const std::string& subject) {
  return "<li STYLE=\"cursor:hand\"><p class=\"LiStyle\"><a href='" + file + "'>" + subject +
         "</a></p></li>";
}
const std::string kTypeEnd = "</ul></li>";
const std::string kCategoryEnd = "</ul></li><br>";

bool OutlineScriptAvailable() {
  return std::filesystem::exists(std::filesystem::path(LORVA_SOURCE_DIR) / "resources" /
                                 "outline.js");
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
  void LoadGrouped(int collapse) {
    Load();
    ASSERT_TRUE(form->optGroup.IsSelected(0));
    form->chkAttachments.SetValue(0);
    form->chkCollapse.SetValue(collapse);
  }
  void Untick(ui::CheckedListBox& list, const std::string& text) {
    for (int i = 0; i < list.ListCount(); ++i) {
      if (list.List(i) == text) list.SetSelected(i, false);
    }
  }
};

TEST_F(GroupedRunTest, PlainIndexGroupsTickedCategoriesAndTypes) {
  LoadGrouped(0);
  // Lists: categories Hardware, Network, Software; types FAQ, How-to.
  ASSERT_EQ(form->lstProblemCategory.ListCount(), 3);
  Untick(form->lstProblemCategory, "Network");
  Generate();
  EXPECT_EQ(Read("index.htm"),
            kPlainHead + "<ul>" + Heading("Hardware") + Heading("FAQ") +
                Entry("Paper%20jam.htm", "Paper jam") + Entry("Toner%20low.htm", "Toner low") +
                kTypeEnd + kCategoryEnd + Heading("Software") + Heading("FAQ") +
                Entry("Reinstall.htm", "Reinstall") + kTypeEnd + Heading("How-to") +
                Entry("Driver%20update.htm", "Driver update") + kTypeEnd + kCategoryEnd +
                kIndexClosing);
  EXPECT_FALSE(Exists("Network.htm")) << "unticked category";
  EXPECT_FALSE(Exists("Padded.htm"));
  EXPECT_FALSE(Exists("No type.htm"));
  EXPECT_FALSE(Exists("outline.js"));
}

TEST_F(GroupedRunTest, CategoryWithoutTickedMatchesHasNoHeading) {
  LoadGrouped(0);
  Untick(form->lstProblemType, "FAQ");
  Generate();
  EXPECT_EQ(Read("index.htm"), kPlainHead + "<ul>" + Heading("Network") + Heading("How-to") +
                                   Entry("Network.htm", "Network") + kTypeEnd + kCategoryEnd +
                                   Heading("Software") + Heading("How-to") +
                                   Entry("Driver%20update.htm", "Driver update") + kTypeEnd +
                                   kCategoryEnd + kIndexClosing);
}

TEST_F(GroupedRunTest, NoTickedCategoryGivesHeadOpeningAndClosing) {
  LoadGrouped(0);
  form->chkSelectAllCategory.SetValue(0);
  Generate();
  EXPECT_EQ(Read("index.htm"), kPlainHead + "<ul>" + kIndexClosing);
}

TEST_F(GroupedRunTest, PairWhoseItemsAreAllSkippedKeepsItsHeadings) {
  LoadGrouped(0);
  Untick(form->lstProblemCategory, "Hardware");
  Untick(form->lstProblemCategory, "Software");
  form->chkOverwrite.SetValue(0);
  Generate();
  Generate();
  EXPECT_EQ(Read("index.htm"), kPlainHead + "<ul>" + Heading("Network") + Heading("How-to") +
                                   kTypeEnd + kCategoryEnd + kIndexClosing);
}

TEST_F(GroupedRunTest, NumbersGrowByTheItemsOfEveryPass) {
  LoadGrouped(0);
  form->optNaming.Select(1);
  Untick(form->lstProblemCategory, "Network");
  Untick(form->lstProblemCategory, "Software");
  Untick(form->lstProblemType, "How-to");
  // One pass (Hardware, FAQ) over seven items: Toner low is 1001, Paper jam 1003.
  Generate();
  EXPECT_EQ(Read("index.htm"), kPlainHead + "<ul>" + Heading("Hardware") + Heading("FAQ") +
                                   Entry("1003.htm", "Paper jam") + Entry("1001.htm", "Toner low") +
                                   kTypeEnd + kCategoryEnd + kIndexClosing);

  // Two passes (Hardware/FAQ, Software/FAQ): Reinstall is item 4 of the second pass.
  form->lstProblemCategory.SetSelected(2, true);
  Generate();
  EXPECT_NE(Read("index.htm").find(Entry("1011.htm", "Reinstall")), std::string::npos);
}

// An item at position i of the folder's n items, under the p-th ticked pair (every ticked type
// of every ticked category, in list order), is numbered first number + p * n + i.
TEST_F(GroupedRunTest, NumbersFollowPositionAndPairAsIfEachPairHadItsOwnPass) {
  struct Case {
    std::vector<std::string> unticked;                       // categories and types
    std::vector<std::pair<std::string, std::string>> pages;  // page, subject
  };
  // Pairs of the full lists: Hardware FAQ, How-to; Network FAQ, How-to; Software FAQ, How-to.
  const Case cases[] = {
      {{},
       {{"1001.htm", "Toner low"},
        {"1003.htm", "Paper jam"},
        {"1028.htm", "Network"},
        {"1032.htm", "Reinstall"},
        {"1037.htm", "Driver update"}}},
      {{"Network"},
       {{"1001.htm", "Toner low"},
        {"1003.htm", "Paper jam"},
        {"1018.htm", "Reinstall"},
        {"1023.htm", "Driver update"}}},
      {{"FAQ"}, {{"1014.htm", "Network"}, {"1016.htm", "Driver update"}}},
      {{"Hardware", "Network", "FAQ"}, {{"1002.htm", "Driver update"}}},
  };
  LoadGrouped(0);
  form->optNaming.Select(1);
  int run = 0;
  for (const Case& c : cases) {
    std::string what = "unticked:";
    for (const std::string& text : c.unticked) what += " " + text;
    SCOPED_TRACE(what);
    const std::string out = "run" + std::to_string(run++);
    std::filesystem::create_directory(dir / out);
    form->txtDestination.SetText((dir / out).string());
    for (ui::CheckedListBox* list : {&form->lstProblemCategory, &form->lstProblemType}) {
      for (int i = 0; i < list->ListCount(); ++i) list->SetSelected(i, true);
    }
    for (const std::string& text : c.unticked) {
      Untick(form->lstProblemCategory, text);
      Untick(form->lstProblemType, text);
    }
    Generate();
    EXPECT_EQ(form->LastRun().pagesWritten, static_cast<int>(c.pages.size()));
    for (const auto& [page, subject] : c.pages) {
      EXPECT_NE(Read(out + "/" + page).find("<h1>" + subject + "</h1>"), std::string::npos)
          << page << " holds " << subject;
    }
  }
}

// Numbers depend on the position in the folder alone: an item that cannot be read uses up its
// number, and the numbers of the others stay as they were.
TEST_F(GroupedRunTest, UnreadableItemKeepsTheOtherNumbers) {
  LoadGrouped(0);
  form->optNaming.Select(1);
  Untick(form->lstProblemType, "How-to");
  kb->unreadable = {1};  // Toner low
  Generate();
  EXPECT_EQ(Read("index.htm"), kPlainHead + "<ul>" + Heading("Hardware") + Heading("FAQ") +
                                   Entry("1003.htm", "Paper jam") + kTypeEnd + kCategoryEnd +
                                   Heading("Software") + Heading("FAQ") +
                                   Entry("1018.htm", "Reinstall") + kTypeEnd + kCategoryEnd +
                                   kIndexClosing);
  EXPECT_FALSE(Exists("1001.htm"));
  EXPECT_EQ(form->LastRun().unreadable, std::vector<std::string>{"The item cannot be read"});
}

// Each item is fetched once in a run, whatever the run does with it: its page, its rich-text
// copy, its attachments and its inline images all come from the one item.
TEST_F(GroupedRunTest, EachItemIsFetchedOnceInEitherRun) {
  LoadGrouped(0);
  for (const bool grouped : {true, false}) {
    for (const int attachments : {0, 1}) {
      SCOPED_TRACE(std::string(grouped ? "grouped" : "flat") +
                   (attachments ? ", attachments" : ", no attachments"));
      form->optGroup.Select(grouped ? 0 : 1);
      form->chkAttachments.SetValue(attachments);
      kb->fetches = 0;
      Generate();
      EXPECT_EQ(kb->fetches, static_cast<int>(kb->items.size()));
      EXPECT_EQ(form->LastRun().pagesWritten, grouped ? 5 : 7);
    }
  }
}

TEST_F(GroupedRunTest, CollapsibleOutlineOpensCollapsedOrNot) {
  if (!OutlineScriptAvailable()) GTEST_SKIP() << "the outline script is not built in yet";
  for (int initially : {1, 0}) {
    SCOPED_TRACE(initially ? "collapsed at first" : "open at first");
    LoadGrouped(1);
    form->chkCollapseInitially.SetValue(initially);
    Untick(form->lstProblemCategory, "Hardware");
    Untick(form->lstProblemCategory, "Software");
    Generate();
    EXPECT_EQ(Read("index.htm"),
              kCollapsibleHead +
                  (initially ? "<ul dynamicoutline initcollapsed>" : "<ul dynamicoutline>") +
                  CHeading("Network") + CHeading("How-to") + CEntry("Network.htm", "Network") +
                  kTypeEnd + kCategoryEnd + kIndexClosing);
    EXPECT_TRUE(Exists("outline.js"));
    form.reset();
    connection->objKBFolder.reset();
    form = std::make_unique<frmMain>(
        FormServices{services, files, *connection, dialogs, pump, route, &shell});
  }
}

TEST_F(GroupedRunTest, CategoriesAndTypesAreEscapedInHeadings) {
  kb->items = {FakeItem::Post("Q", "R&D <lab>", "\"Quoted\"")};
  LoadGrouped(0);
  Generate();
  EXPECT_EQ(Read("index.htm"), kPlainHead + "<ul>" + Heading("R&amp;D &lt;lab&gt;") +
                                   Heading("&quot;Quoted&quot;") + Entry("Q.htm", "Q") + kTypeEnd +
                                   kCategoryEnd + kIndexClosing);
}

TEST_F(GroupedRunTest, NonAsciiCategoriesAndTypesComeOutAsNumericReferences) {
  kb->items = {FakeItem::Post("Ελλάδα", "Καφές", "日本"), FakeItem::Post("Ок", "Сеть", "日本")};
  LoadGrouped(0);
  Generate();
  EXPECT_EQ(Read("index.htm"),
            kPlainHead + "<ul>" + Heading("&#922;&#945;&#966;&#941;&#962;") +
                Heading("&#26085;&#26412;") +
                Entry("%CE%95%CE%BB%CE%BB%CE%AC%CE%B4%CE%B1.htm",
                      "&#917;&#955;&#955;&#940;&#948;&#945;") +
                kTypeEnd + kCategoryEnd + Heading("&#1057;&#1077;&#1090;&#1100;") +
                Heading("&#26085;&#26412;") + Entry("%D0%9E%D0%BA.htm", "&#1054;&#1082;") +
                kTypeEnd + kCategoryEnd + kIndexClosing);
}

TEST_F(GroupedRunTest, CancelTakesEffectAtTheNextItemAndTheIndexListsThePagesWritten) {
  LoadGrouped(0);
  // One yield per item: cancelled before the fourth item (Reinstall) is read.
  pump.actions[4] = [&] { form->cmdGenerate_Click(); };
  Generate();
  EXPECT_EQ(pump.yields, 4);
  EXPECT_EQ(Read("index.htm"), kPlainHead + "<ul>" + Heading("Hardware") + Heading("FAQ") +
                                   Entry("Paper%20jam.htm", "Paper jam") +
                                   Entry("Toner%20low.htm", "Toner low") + kTypeEnd + kCategoryEnd +
                                   Heading("Software") + Heading("How-to") +
                                   Entry("Driver%20update.htm", "Driver update") + kTypeEnd +
                                   kCategoryEnd + kIndexClosing);
  for (const char* page : {"Toner low.htm", "Paper jam.htm", "Driver update.htm"}) {
    EXPECT_TRUE(Exists(page)) << page;
  }
  EXPECT_FALSE(Exists("Reinstall.htm"));
  EXPECT_FALSE(Exists("Network.htm"));
  EXPECT_TRUE(Exists("style.css"));
  EXPECT_EQ(form->LastRun().outcome, RunSummary::Outcome::kCancelled);
  EXPECT_EQ(form->LastRun().pagesWritten, 3);
}

TEST_F(GroupedRunTest, SameSubjectInTwoPairsGetsAPageInEach) {
  Add(FakeItem::Post("Toner low", "Software", "FAQ", "<html><body>software toner</body></html>"));
  LoadGrouped(0);
  Untick(form->lstProblemType, "How-to");
  Generate();
  EXPECT_EQ(Read("index.htm"),
            kPlainHead + "<ul>" + Heading("Hardware") + Heading("FAQ") +
                Entry("Paper%20jam.htm", "Paper jam") + Entry("Toner%20low.htm", "Toner low") +
                kTypeEnd + kCategoryEnd + Heading("Software") + Heading("FAQ") +
                Entry("Reinstall.htm", "Reinstall") + Entry("Toner%20low%20(2).htm", "Toner low") +
                kTypeEnd + kCategoryEnd + kIndexClosing);
  EXPECT_EQ(Read("Toner low.htm").find("software toner"), std::string::npos);
  EXPECT_NE(Read("Toner low (2).htm").find("software toner"), std::string::npos);
}

TEST_F(GroupedRunTest, CounterGoesOnPastTheFirstNumbersRangeInEveryPass) {
  LoadGrouped(0);
  form->optNaming.Select(1);
  form->txtNumbering.SetText("32760");
  Generate();
  // Six passes over seven items: 32761 to 32802, each item numbered anew in every pass.
  EXPECT_EQ(Read("index.htm"),
            kPlainHead + "<ul>" + Heading("Hardware") + Heading("FAQ") +
                Entry("32763.htm", "Paper jam") + Entry("32761.htm", "Toner low") + kTypeEnd +
                kCategoryEnd + Heading("Network") + Heading("How-to") +
                Entry("32788.htm", "Network") + kTypeEnd + kCategoryEnd + Heading("Software") +
                Heading("FAQ") + Entry("32792.htm", "Reinstall") + kTypeEnd + Heading("How-to") +
                Entry("32797.htm", "Driver update") + kTypeEnd + kCategoryEnd + kIndexClosing);
  EXPECT_TRUE(dialogs.Messages().empty());
}

}  // namespace
}  // namespace lorva::testing
