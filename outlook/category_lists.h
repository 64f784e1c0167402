// The category and type lists of the main window: filled at start-up with every distinct
// "Problem Category" and "Problem Type" of the knowledge-base folder's post items, all ticked,
// and the two select-all boxes above them.
#pragma once

#include <string>

#include "outlook/connection.h"
#include "platform/ui/dialogs.h"
#include "support/controls.h"
#include "support/error_reporter.h"

namespace lorva::outlook {

// The window's controls the list filling reads and sets.
struct ListControls {
  ui::CheckedListBox& lstProblemCategory;
  ui::CheckedListBox& lstProblemType;
  ui::CheckBox& chkSelectAllCategory;
  ui::CheckBox& chkSelectAllType;
  ui::OptionGroup& optGroup;
  ui::Button& cmdGenerate;
};

// Runs the knowledge-base folder check, fills both lists from the folder's post items and sets
// the grouping options and "Generate" to match (subPopulateLists). An unexpected failure before
// the items are read goes to the reporter with the label "subPopulateLists".
void subPopulateLists(Connection& connection, ErrorReporter& reporter, platform::Dialogs& dialogs,
                      const ListControls& controls, LoadedWindow* form);

// Adds `strNewItem`, trimmed and ticked, unless it is blank or already present (trimmed,
// letter case ignored).
void fncAddToListBox(ErrorReporter& reporter, ui::CheckedListBox& lstProblem,
                     const std::string& strNewItem);

// The select-all boxes' click handler: ticks every entry when `box` is 1 or 2, unticks every
// entry when it is 0.
void SelectAllEntries(const ui::CheckBox& box, ui::CheckedListBox& list);

}  // namespace lorva::outlook
