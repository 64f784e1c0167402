#include "support/controls.h"

#include <gtest/gtest.h>

#include "base/error.h"

namespace lorva::ui {
namespace {

TEST(ControlsTest, CheckBoxRaisesClickOnlyWhenItsValueChanges) {
  CheckBox box("Overwrite files", 0);
  int clicks = 0;
  box.onClick = [&] { ++clicks; };
  box.SetValue(1);
  box.SetValue(1);
  box.SetValue(2);
  EXPECT_EQ(clicks, 2);
  EXPECT_FALSE(box.Ticked()) << "greyed is not ticked";
  EXPECT_THROW(box.SetValue(3), Error);
  EXPECT_EQ(box.Value(), 2);
}

TEST(ControlsTest, SelectingAnOptionButtonRaisesClickWithItsIndex) {
  OptionGroup group({"Problem Category && Type", "None"}, 0);
  std::vector<int> clicks;
  group.onClick = [&](int index) { clicks.push_back(index); };
  group.Select(0);
  group.Select(1);
  group.Select(1);
  group.Select(0);
  EXPECT_EQ(clicks, (std::vector<int>{1, 0}));
  EXPECT_THROW(group.Select(2), Error);
}

TEST(ControlsTest, CheckedListKeepsEntriesSortedIgnoringLetterCase) {
  CheckedListBox list;
  for (const char* text : {"delta", "Bravo", "alpha", "Charlie", "échelle", "Echo"}) {
    list.AddItem(text);
  }
  std::vector<std::string> entries;
  for (int i = 0; i < list.ListCount(); ++i) entries.push_back(list.List(i));
  EXPECT_EQ(entries,
            (std::vector<std::string>{"alpha", "Bravo", "Charlie", "delta", "échelle", "Echo"}));
  EXPECT_FALSE(list.Selected(0));
  list.SetSelected(0, true);
  EXPECT_TRUE(list.Selected(0));
  EXPECT_THROW(list.List(6), Error);
}

TEST(ControlsTest, ProgressBarKeepsItsValueWithinItsRange) {
  ProgressBar bar;
  EXPECT_FALSE(bar.Visible());
  bar.SetMax(3);
  bar.SetValue(3);
  EXPECT_THROW(bar.SetValue(4), Error);
  bar.SetMax(0);  // an empty category list
  EXPECT_EQ(bar.Value(), 0);
}

}  // namespace
}  // namespace lorva::ui
