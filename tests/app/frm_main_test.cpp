#include "app/frm_main.h"

#include <gtest/gtest.h>

#include "archive/run_fixture.h"

namespace lorva::testing {
namespace {

class MainWindowTest : public ProgramFixture {
 protected:
  void SetUp() override {
    Add(FakeItem::Post("One", "Hardware", "FAQ"));
    form->Form_Load();
  }
};

TEST_F(MainWindowTest, FirstStartShowsTheStoredOptionDefaults) {
  EXPECT_EQ(form->Caption, "2.1.362 (Lorva for Outlook)");
  EXPECT_EQ(form->txtDestination.Text(), "");
  EXPECT_TRUE(form->optNaming.IsSelected(0));
  EXPECT_EQ(form->txtNumbering.Text(), "1000");
  EXPECT_EQ(form->chkExtractIndexPage.Value(), 1);
  EXPECT_EQ(form->chkOverwrite.Value(), 1);
  EXPECT_EQ(form->chkRun.Value(), 1);
  EXPECT_EQ(form->chkAttachments.Value(), 1);
  EXPECT_EQ(form->chkCollapse.Value(), 1);
  EXPECT_EQ(form->chkCollapseInitially.Value(), 1);
  EXPECT_TRUE(form->optGroup.IsSelected(0));
  EXPECT_TRUE(form->optGroup.Enabled(0));
  EXPECT_TRUE(form->chkCollapse.Enabled());
  EXPECT_TRUE(form->chkCollapseInitially.Enabled());
  EXPECT_EQ(form->cmdGenerate.Caption(), "Generate");
  EXPECT_FALSE(form->pb.Visible());
  EXPECT_FALSE(form->bCancel);
  EXPECT_NE(services.fs, nullptr) << "the file service is set up";
  EXPECT_EQ(connection->objKBFolder, kb);
}

TEST_F(MainWindowTest, UntickingTheTableOfContentsGreysOnlyTheGroupingOptions) {
  form->chkExtractIndexPage.SetValue(0);
  EXPECT_FALSE(form->optGroup.Enabled(0));
  EXPECT_FALSE(form->optGroup.Enabled(1));
  EXPECT_TRUE(form->chkCollapse.Enabled());
  EXPECT_TRUE(form->chkCollapseInitially.Enabled());
  form->chkExtractIndexPage.SetValue(1);
  EXPECT_TRUE(form->optGroup.Enabled(0));
  EXPECT_TRUE(form->optGroup.Enabled(1));
}

TEST_F(MainWindowTest, GroupingAndCollapseRules) {
  form->optGroup.Select(1);
  EXPECT_FALSE(form->chkCollapse.Enabled());
  EXPECT_FALSE(form->chkCollapseInitially.Enabled());
  form->optGroup.Select(0);
  EXPECT_TRUE(form->chkCollapse.Enabled());
  EXPECT_TRUE(form->chkCollapseInitially.Enabled()) << "Collapsible Outline is checked";

  form->chkCollapse.SetValue(0);
  EXPECT_FALSE(form->chkCollapseInitially.Enabled());
  form->optGroup.Select(1);
  form->optGroup.Select(0);
  EXPECT_TRUE(form->chkCollapse.Enabled());
  EXPECT_FALSE(form->chkCollapseInitially.Enabled()) << "Collapsible Outline is unchecked";
  form->chkCollapse.SetValue(1);
  EXPECT_TRUE(form->chkCollapseInitially.Enabled());
}

TEST_F(MainWindowTest, NumberBoxTakesDigitsAndBackspaceUpToFiveCharacters) {
  struct Case {
    const char* what;
    std::vector<int> keys;
    std::string result;
  };
  const Case cases[] = {
      {"1, 2, a, 3", {'1', '2', 'a', '3'}, "123"},
      {"Backspace", {'4', '5', 8, '6'}, "46"},
      {"five at most", {'1', '2', '3', '4', '5', '6', '7'}, "12345"},
      {"Enter, Escape, Ctrl+V, minus, blank", {13, 27, 22, '-', ' ', '9'}, "9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    form->txtNumbering.SetText("");
    for (int key : c.keys) form->txtNumbering.TypeKey(key);
    EXPECT_EQ(form->txtNumbering.Text(), c.result);
  }
}

TEST_F(MainWindowTest, NumberBoxTakesAPasteWhoseEveryCharacterPassesTheFilter) {
  for (const char* paste : {"7000", ""}) EXPECT_TRUE(form->txtNumbering.PassesKeyFilter(paste));
  // "\xd9\xa3" is an Arabic-Indic digit three, not one of "0" to "9".
  for (const char* paste : {"12a", " 12", "\xd9\xa3", "1\r\n"}) {
    EXPECT_FALSE(form->txtNumbering.PassesKeyFilter(paste)) << "paste: " << paste;
  }
}

TEST(NumbersOnlyTest, ExtraKeyPassesToo) {
  int key = 'x';
  int extra = 'x';
  subNumbersOnly(key, extra);
  EXPECT_EQ(key, 'x');
  int minusOne = -1;
  subNumbersOnly(key, minusOne);
  EXPECT_EQ(key, 0);
}

TEST_F(MainWindowTest, ExitSetsTheCancelFlagSavesAndEnds) {
  EXPECT_THROW(form->cmdExit_Click(), ProgramEnded);
  EXPECT_TRUE(form->bCancel);
  EXPECT_EQ(saves, 2) << "Exit saves, and so does the closing of the window it unloads";
  EXPECT_FALSE(form->Loaded());
  EXPECT_EQ(connection->objOutlook, nullptr);
}

TEST_F(MainWindowTest, ExitDuringARunEndsItAtOnce) {
  Add(FakeItem::Post("Two", "Hardware", "FAQ"));
  form->txtDestination.SetText(Dest());
  form->optGroup.Select(1);
  pump.actions[1] = [&] { form->cmdExit_Click(); };
  EXPECT_THROW(form->cmdGenerate_Click(), ProgramEnded);
  EXPECT_FALSE(Exists("One.htm"));
  EXPECT_FALSE(form->runner().Running());
}

TEST_F(ProgramFixture, MissingImagingLibraryOffersTheDownloadAndEndsWithoutSaving) {
  form = std::make_unique<frmMain>(
      FormServices{services, files, *connection, dialogs, pump, route, &shell},
      FormHooks{[] { return false; }, {}, {}, [this](frmMain&) { ++saves; }});
  dialogs.QueueAnswer(platform::msgbox::kYes);
  EXPECT_THROW(form->Form_Load(), ProgramEnded);
  ASSERT_EQ(dialogs.shown().size(), 1u);
  EXPECT_EQ(dialogs.shown()[0].text,
            "You don't seem to have GDI+ installed! It is required for the Archive tool to "
            "work.\r\n\r\nDo you want to download it Now?");
  EXPECT_EQ(dialogs.shown()[0].style, platform::msgbox::kYesNo);
  EXPECT_EQ(dialogs.shown()[0].title, "LorvaArchive");
  EXPECT_EQ(shell.opened.size(), 1u);
  EXPECT_EQ(saves, 0) << "the initial values must not replace the stored options";
}

}  // namespace
}  // namespace lorva::testing
