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

}  // namespace
}  // namespace lorva::ui
