#include "outlook/category_lists.h"

#include <gtest/gtest.h>

#include "support_code/program_fixture.h"

namespace lorva::testing {
namespace {

std::vector<std::string> Entries(const ui::CheckedListBox& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.ListCount(); ++i) {
    out.push_back(list.List(i) + (list.Selected(i) ? " [x]" : " [ ]"));
  }
  return out;
}

class ListFillingTest : public ProgramFixture {};

TEST_F(ListFillingTest, DistinctTrimmedValuesSortedAndAllTicked) {
  Add(FakeItem::Post("a", " printers ", "FAQ"));
  Add(FakeItem::Post("b", "Printers", "how-to"));  // same category: letter case and blanks
  Add(FakeItem::Post("c", "accounts", "faq"));
  Add(FakeItem::Post("d", "", "Policy"));     // type only
  Add(FakeItem::Post("e", "Zeta Café", ""));  // category only
  Add(FakeItem::Post("f", "   ", "  "));      // blanks add nothing
  auto mail = FakeItem::Post("g", "Mail only", "Mail type");
  mail->itemClass = outlook::ItemClass::kMail;  // not a post item: adds nothing
  Add(mail);
  Add(nullptr);
  Add(FakeItem::Post("h", "Broken", "Broken"));
  kb->unreadable = {9};
  form->Form_Load();

  EXPECT_EQ(Entries(form->lstProblemCategory),
            (std::vector<std::string>{"accounts [x]", "printers [x]", "Zeta Café [x]"}));
  EXPECT_EQ(Entries(form->lstProblemType),
            (std::vector<std::string>{"FAQ [x]", "how-to [x]", "Policy [x]"}));
  EXPECT_EQ(form->chkSelectAllCategory.Value(), 1);
  EXPECT_EQ(form->chkSelectAllType.Value(), 1);
  EXPECT_TRUE(form->optGroup.Enabled(0));
  EXPECT_TRUE(form->optGroup.Enabled(1));
  EXPECT_TRUE(form->cmdGenerate.Enabled());
}

TEST_F(ListFillingTest, EmptyFolderSaysSoAndDisablesGenerate) {
  form->Form_Load();
  ASSERT_EQ(dialogs.shown().size(), 1u);
  EXPECT_EQ(dialogs.shown()[0].text, "You don't have any KB articles to convert into webpages!");
  EXPECT_EQ(dialogs.shown()[0].style, platform::msgbox::kInformation);
  EXPECT_EQ(dialogs.shown()[0].title, "LorvaArchive");
  EXPECT_FALSE(form->optGroup.Enabled(0));
  EXPECT_FALSE(form->optGroup.Enabled(1));
  EXPECT_FALSE(form->cmdGenerate.Enabled());
}

}  // namespace
}  // namespace lorva::testing
