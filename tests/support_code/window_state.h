// The window's options in one line, to compare in one go: the values, then the option controls
// that are enabled.
#pragma once

#include <string>

#include "archive/run_window.h"

namespace lorva::testing {

// "dest=D naming=N number=T toc=V overwrite=V run=V group=G attachments=V collapse=V
// initially=V | enabled group0 group1 collapse initially" (only the enabled ones listed).
inline std::string Options(const RunWindow& w) {
  const auto value = [](const ui::CheckBox& box) { return std::to_string(box.Value()); };
  std::string line =
      "dest=" + w.txtDestination.Text() + " naming=" + (w.optNaming.IsSelected(1) ? "1" : "0") +
      " number=" + w.txtNumbering.Text() + " toc=" + value(w.chkExtractIndexPage) +
      " overwrite=" + value(w.chkOverwrite) + " run=" + value(w.chkRun) +
      " group=" + (w.optGroup.IsSelected(1) ? "1" : "0") +
      " attachments=" + value(w.chkAttachments) + " collapse=" + value(w.chkCollapse) +
      " initially=" + value(w.chkCollapseInitially) + " | enabled";
  if (w.optGroup.Enabled(0)) line += " group0";
  if (w.optGroup.Enabled(1)) line += " group1";
  if (w.chkCollapse.Enabled()) line += " collapse";
  if (w.chkCollapseInitially.Enabled()) line += " initially";
  return line;
}

}  // namespace lorva::testing
