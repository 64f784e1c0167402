#include "app/frm_main.h"

#include <gtest/gtest.h>

#include "support_code/program_fixture.h"

namespace lorva::testing {
namespace {

class MainWindowTest : public ProgramFixture {
 protected:
  void SetUp() override {
    Add(FakeItem::Post("One", "Hardware", "FAQ"));
    form->Form_Load();
  }
};

TEST_F(MainWindowTest, NumberBoxTakesDigitsAndBackspaceUpToFiveCharacters) {
  const struct {
    const char* what;
    std::vector<int> keys;
    std::string result;
  } cases[] = {
      {"1, 2, a, 3", {'1', '2', 'a', '3'}, "123"},
      {"Backspace", {'4', '5', 8, '6'}, "46"},
      {"five at most", {'1', '2', '3', '4', '5', '6', '7'}, "12345"},
      {"Enter, Escape, Ctrl+V, minus, blank, colon, A", {13, 27, 22, '-', ' ', ':', 'A', '9'}, "9"},
  };
  for (const auto& c : cases) {
    form->txtNumbering.SetText("");
    for (int key : c.keys) form->txtNumbering.TypeKey(key);
    EXPECT_EQ(form->txtNumbering.Text(), c.result) << c.what;
  }
  // A paste passes when every character would.
  for (const char* paste : {"7000", ""}) EXPECT_TRUE(form->txtNumbering.PassesKeyFilter(paste));
  // "\xd9\xa3" is an Arabic-Indic digit three, not one of "0" to "9".
  for (const char* paste : {"12a", " 12", "\xd9\xa3", "1\r\n"}) {
    EXPECT_FALSE(form->txtNumbering.PassesKeyFilter(paste)) << "paste: " << paste;
  }
}

TEST_F(MainWindowTest, ExitSavesAndEndsAlsoDuringARun) {
  Add(FakeItem::Post("Two", "Hardware", "FAQ"));
  form->txtDestination.SetText(Dest());
  form->optGroup.Select(1);
  pump.actions[1] = [&] { form->cmdExit_Click(); };
  EXPECT_THROW(form->cmdGenerate_Click(), ProgramEnded);
  EXPECT_TRUE(form->bCancel);
  EXPECT_FALSE(Exists("One.htm"));
  EXPECT_FALSE(form->runner().Running());
  EXPECT_EQ(saves, 2) << "Exit saves, and so does the closing of the window it unloads";
  EXPECT_FALSE(form->Loaded());
  EXPECT_EQ(connection->objOutlook, nullptr);
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
