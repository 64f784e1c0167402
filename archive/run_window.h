// The state of the main window that the archive runs read and drive: the option controls, the
// two lists, the "Generate" button, the progress bar, the mouse pointer and the cancel flag.
// The window model (app/frm_main.h) is built on it; the runs see only this.
#pragma once

#include <string>

#include "support/controls.h"

namespace lorva {

struct RunWindow {
  std::string Caption = "Archive";

  ui::TextBox txtDestination{""};
  ui::OptionGroup optNaming{{"Use subject", "Use incremental numbering"}, 0};
  ui::TextBox txtNumbering{"1000", 5};
  ui::CheckBox chkExtractIndexPage{"Generate Table of Content (index.htm)", 1};
  ui::OptionGroup optGroup{{"Problem Category && Type", "None"}, 0};
  ui::CheckBox chkCollapse{"Collapsible Outline", 0};
  ui::CheckBox chkCollapseInitially{"Collapse Initially", 0};
  ui::CheckBox chkAttachments{"Include Attachments", 0};
  ui::CheckBox chkOverwrite{"Overwrite files", 0};
  ui::CheckBox chkRun{"Run index.htm when done", 0};
  ui::CheckBox chkSelectAllCategory{"", 0};
  ui::CheckBox chkSelectAllType{"", 0};
  ui::CheckedListBox lstProblemCategory;
  ui::CheckedListBox lstProblemType;
  ui::Button cmdBrowseDestination{"..."};
  ui::Button cmdGenerate{"Generate"};
  ui::Button cmdExit{"Exit"};
  ui::ProgressBar pb;
  ui::MousePointer MousePointer = ui::MousePointer::kDefault;

  // Set by "Cancel.." and "Exit"; cleared by a run when it starts taking up items.
  bool bCancel = false;
};

}  // namespace lorva
