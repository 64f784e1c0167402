// The main window's behaviour (frmMain), without any window system: its controls, the enabling
// rules, the number box's key filter, start-up, "Generate", "Exit" and closing. The Qt view
// (app/qt) shows these controls and forwards the user's actions here; the batch mode and the
// tests drive it directly.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/folder_browse.h"
#include "archive/archive_run.h"
#include "archive/run_window.h"
#include "outlook/connection.h"
#include "page/rich_text_route.h"
#include "platform/shell/shell.h"
#include "platform/ui/dialogs.h"
#include "support/file_handling.h"

namespace lorva {

class frmMain;

// The parts of start-up and closing that other parts of the program supply.
struct FormHooks {
  // The imaging library's start-up (GDI+): true when it started. Default: true (nothing to do).
  std::function<bool()> startImaging;
  // Its shut-down at closing. Default: nothing.
  std::function<void()> stopImaging;
  // Restores the stored options into the window (subSetCaptions). Default: ApplyDefaultOptions.
  std::function<void(frmMain&)> restoreOptions;
  // Stores the window's options (subSaveCaptions). Default: nothing is stored.
  std::function<void(frmMain&)> saveOptions;
  // Called once a run started by "Generate" has ended. Default: a message box naming the items
  // the run could not read, when there were any.
  std::function<void(const RunSummary&)> runEnded = nullptr;
};

// What the window works with: what its runs work with (the window sets itself as their form).
using FormServices = RunServices;

class frmMain : public RunWindow, public outlook::LoadedWindow {
 public:
  frmMain(FormServices services, FormHooks hooks = {});
  ~frmMain() override;

  // Start-up: imaging, file service, options, lists, and the mail application.
  void Form_Load();
  // Closing: imaging shut-down, options saved, end of the program (throws ProgramEnded).
  void Form_Unload();

  // Starts a run and, once it has ended, tells what it could not read; or cancels the run.
  void cmdGenerate_Click();
  // Sets the cancel flag, saves the options and ends the program (throws ProgramEnded).
  void cmdExit_Click();
  void lblWebLink_Click();
  // Picks the destination folder in the folder browser.
  void cmdBrowseDestination_Click();

  // Enabling rules.
  void chkExtractIndexPage_Click();
  void optGroup_Click(int index);
  void chkCollapse_Click();
  // The number box's key filter: drops every typed character but digits and Backspace (the view
  // hands it typed characters only; moving, editing and clipboard keys never reach it).
  void txtNumbering_KeyPress(int& keyAscii);
  void chkSelectAllCategory_Click();
  void chkSelectAllType_Click();

  // LoadedWindow: unloading runs Form_Unload.
  void Unload() override;
  std::string WindowCaption() const override { return Caption; }

  bool Loaded() const { return loaded_; }
  ArchiveRunner& runner() { return runner_; }
  const RunSummary& LastRun() const { return runner_.LastRun(); }

 private:
  FormServices services_;
  FormHooks hooks_;
  ArchiveRunner runner_;
  bool loaded_ = false;
  BrowseState browse_;
  bool optionsRestored_ = false;  // options are saved only once they were restored
};

// The numeric key filter: lets `keyAscii` through when it equals `extraKey`, is a digit or is
// Backspace (8); otherwise sets it to 0.
void subNumbersOnly(int& keyAscii, int& extraKey);

// The stored-option defaults of a first start, restored in the order of subSetCaptions (which
// raises the enabling rules the same way): caption, destination "", subject naming, "1000", table
// of contents, overwrite and opening ticked, grouping by category and type, attachments,
// collapsible outline and collapse initially ticked.
void ApplyDefaultOptions(frmMain& form);

// The window caption: the program's version and the product name.
std::string WindowCaptionText();

}  // namespace lorva
