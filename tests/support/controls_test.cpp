#include "support/controls.h"

#include <gtest/gtest.h>

#include "base/error.h"

namespace lorva::ui {
namespace {

TEST(ControlsTest, ClickIsRaisedOnlyWhenTheValueChanges) {
  CheckBox box("Overwrite files", 0);
  int clicks = 0;
  box.onClick = [&] { ++clicks; };
  for (int value : {1, 1, 2}) box.SetValue(value);
  EXPECT_EQ(clicks, 2);
  EXPECT_FALSE(box.Ticked()) << "greyed is not ticked";
  EXPECT_THROW(box.SetValue(3), Error);

  OptionGroup group({"Problem Category && Type", "None"}, 0);
  std::vector<int> selected;
  group.onClick = [&](int index) { selected.push_back(index); };
  for (int index : {0, 1, 1, 0}) group.Select(index);
  EXPECT_EQ(selected, (std::vector<int>{1, 0}));
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
  EXPECT_THROW(list.List(6), Error);
}

}  // namespace
}  // namespace lorva::ui
