// Keeping the window's options from one start of the program to the next: subSetCaptions
// restores them while the window loads, subSaveCaptions stores them when the program ends. Both
// go through the settings store, section "Settings", every value as text.
//
// Only the options persist (destination, naming, first number, table of contents, grouping,
// outline, attachments, overwrite, run when done); the list ticks do not.
#pragma once

#include <functional>
#include <utility>

#include "app/frm_main.h"
#include "archive/run_window.h"
#include "platform/registry/hive.h"
#include "support/file_handling.h"

namespace lorva {

// The window the settings routines work on: its controls and caption, and the enabling rules and
// colour matching that the restore runs. The main window implements it; its check boxes and
// option groups raise its click handlers when their values change.
class SettingsWindow {
 public:
  virtual ~SettingsWindow() = default;
  virtual RunWindow& State() = 0;
  // The grouping rule with the index of the chosen grouping button.
  virtual void optGroup_Click(int index) = 0;
  // The collapse rule.
  virtual void chkCollapse_Click() = 0;
  // Gives the controls the background picture's colours.
  virtual void subMatchColours() = 0;
};

// The section the options live in.
inline constexpr const char* kSettingsSection = "Settings";

// Stores the options in the order destination, naming, first number, table of contents,
// overwrite, run, grouping, attachments, outline, collapsed at first. Nothing is checked: an
// empty box is stored as "". A failure is reported as "subSaveCaptions" (which ends the program);
// when the reporter returns, the values already written stay and the routine ends.
void subSaveCaptions(SettingsWindow& window, platform::RegistryHive& hive, Services& services);

// Restores the options, sets the caption to "<version> (Lorva for Outlook)", and matches the
// colours. A stored destination that is no longer a folder leaves the box empty. The grouping
// rule runs after the grouping is restored and the collapse rule after the outline option, in
// that order. A failure (a store error, a stored text that is not a number, an index other than
// 0 or 1, a value outside 0 to 2, no file service) is reported as "subSetCaptions"; when the
// reporter returns, the options not yet restored keep their states and colours are not matched.
// Precondition: services.fs is set up (subSetupFS); without it the failure is reported.
void subSetCaptions(SettingsWindow& window, platform::RegistryHive& hive, Services& services);

// The main window as the settings routines see it. `matchColours` is the view's colour matching
// (nothing when there is no view).
class FormSettingsWindow : public SettingsWindow {
 public:
  explicit FormSettingsWindow(frmMain& form, std::function<void()> matchColours = {})
      : form_(form), matchColours_(std::move(matchColours)) {}
  RunWindow& State() override { return form_; }
  void optGroup_Click(int index) override { form_.optGroup_Click(index); }
  void chkCollapse_Click() override { form_.chkCollapse_Click(); }
  void subMatchColours() override {
    if (matchColours_) matchColours_();
  }

 private:
  frmMain& form_;
  std::function<void()> matchColours_;
};

// The main window's option hooks (FormHooks::restoreOptions and saveOptions) over `hive`.
// `hive`, `services` and what `matchColours` uses must outlive the window.
//
// The saving hook stores nothing while the hive has a problem (a settings file that cannot be
// read, which is left alone): the program tells a problem the hive has when the hook is made at
// its start (as the window and the batch mode do), and the hook tells one that appears later once,
// as a message; from then on saving is skipped quietly until the program ends.
std::function<void(frmMain&)> RestoreOptionsHook(platform::RegistryHive& hive, Services& services,
                                                 std::function<void()> matchColours = {});
std::function<void(frmMain&)> SaveOptionsHook(platform::RegistryHive& hive, Services& services);

}  // namespace lorva
