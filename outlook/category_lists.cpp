#include "outlook/category_lists.h"

#include "base/error.h"
#include "base/steps.h"
#include "base/text_rules.h"
#include "outlook/property_access.h"

namespace lorva::outlook {

void subPopulateLists(Connection& connection, ErrorReporter& reporter, platform::Dialogs& dialogs,
                      const ListControls& c, LoadedWindow* form) {
  int count = 0;
  std::int16_t line = 0;
  try {
    line = 1;
    connection.CheckKnowledgeBaseFolder(form);
    line = 2;
    count = connection.objKBFolder->Items()->Count();
  } catch (const Error& e) {
    reporter.subErrorHandler(e.description(), e.number(), line, "subPopulateLists");
    return;
  }

  if (count >= 1) {
    // From here on a failing statement is passed over.
    std::shared_ptr<ItemCollection> items;
    SkipOnFailure([&] { items = connection.objKBFolder->Items(); });
    const int n = items ? ValueOrNothing([&] { return items->Count(); }).value_or(0) : 0;
    for (int i = 1; i <= n; ++i) {
      auto item = ValueOrNothing([&] { return AsPostItem(items->Item(i)); });
      if (!item || !*item) continue;  // unreadable, another class, or nothing
      const std::string type = PropertyText(reporter, item->get(), "Problem Type");
      const std::string category = PropertyText(reporter, item->get(), "Problem Category");
      if (!TrimBlanks(category).empty()) {
        SkipOnFailure([&] { fncAddToListBox(reporter, c.lstProblemCategory, category); });
      }
      if (!TrimBlanks(type).empty()) {
        SkipOnFailure([&] { fncAddToListBox(reporter, c.lstProblemType, type); });
      }
    }
    if (c.lstProblemCategory.ListCount() >= 1) {
      SkipOnFailure([&] { c.chkSelectAllCategory.SetValue(1); });
      c.optGroup.SetEnabled(0, true);
      c.optGroup.SetEnabled(1, true);
    } else {
      c.optGroup.SetEnabled(0, false);
      SkipOnFailure([&] { c.optGroup.Select(1); });
    }
    if (c.lstProblemType.ListCount() >= 1) {
      SkipOnFailure([&] { c.chkSelectAllType.SetValue(1); });
    }
  } else {
    dialogs.MsgBox("You don't have any KB articles to convert into webpages!",
                   platform::msgbox::kInformation, kAppTitle);
    c.optGroup.SetEnabled(0, false);
    c.optGroup.SetEnabled(1, false);
    c.cmdGenerate.SetEnabled(false);
  }
}

void fncAddToListBox(ErrorReporter& reporter, ui::CheckedListBox& lstProblem,
                     const std::string& strNewItem) {
  try {
    const std::string trimmed = TrimBlanks(strNewItem);
    if (trimmed.empty()) return;
    const std::string wanted = LowerCase(trimmed);
    for (int i = 0; i < lstProblem.ListCount(); ++i) {
      if (LowerCase(TrimBlanks(lstProblem.List(i))) == wanted) return;
    }
    const int position = lstProblem.AddItem(trimmed);
    lstProblem.SetSelected(position, true);
  } catch (const Error& e) {
    reporter.subErrorHandler(e.description(), e.number(), 0, "frmMain.fncAddToListBox");
  }
}

void SelectAllEntries(const ui::CheckBox& box, ui::CheckedListBox& list) {
  if (list.ListCount() == 0) return;
  const bool tick = box.Value() == 1 || box.Value() == 2;
  for (int i = 0; i < list.ListCount(); ++i) list.SetSelected(i, tick);
}

}  // namespace lorva::outlook
