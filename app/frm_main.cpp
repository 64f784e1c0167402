#include "app/frm_main.h"

#include "base/error.h"
#include "outlook/category_lists.h"
#include "support/error_reporter.h"

namespace lorva {

namespace {

constexpr const char* kImagingDownloadPage =
    "https://www.microsoft.com/downloads/details.aspx?FamilyID=6a63ab9c-df12-4d41-933c-"
    "be590feaa05a";

}  // namespace

namespace {

RunServices WithForm(RunServices services, outlook::LoadedWindow* form) {
  services.form = form;
  return services;
}

}  // namespace

std::string WindowCaptionText() {
  return fncGetVersion() + " (" + std::string(kProductName) + ")";
}

frmMain::frmMain(FormServices services, FormHooks hooks)
    : services_(services), hooks_(std::move(hooks)), runner_(*this, WithForm(services, this)) {
  if (!hooks_.startImaging) hooks_.startImaging = [] { return true; };
  if (!hooks_.stopImaging) hooks_.stopImaging = [] {};
  if (!hooks_.restoreOptions) hooks_.restoreOptions = ApplyDefaultOptions;
  if (!hooks_.saveOptions) hooks_.saveOptions = [](frmMain&) {};
  if (!hooks_.runEnded) {
    hooks_.runEnded = [this](const RunSummary& run) {
      const std::string message = UnreadableItemsMessage(run);
      if (!message.empty()) {
        services_.dialogs.MsgBox(
            message, platform::msgbox::kOkOnly | platform::msgbox::kExclamation, kAppTitle);
      }
    };
  }
  chkExtractIndexPage.onClick = [this] { chkExtractIndexPage_Click(); };
  optGroup.onClick = [this](int index) { optGroup_Click(index); };
  chkCollapse.onClick = [this] { chkCollapse_Click(); };
  txtNumbering.onKeyPress = [this](int& key) { txtNumbering_KeyPress(key); };
  chkSelectAllCategory.onClick = [this] { chkSelectAllCategory_Click(); };
  chkSelectAllType.onClick = [this] { chkSelectAllType_Click(); };
}

frmMain::~frmMain() {
  if (loaded_) services_.connection.RemoveWindow(this);
}

void frmMain::Form_Load() {
  loaded_ = true;
  services_.connection.AddWindow(this);

  // 1-2. The imaging library.
  if (!hooks_.startImaging()) {
    const int answer = services_.dialogs.MsgBox(
        "You don't seem to have GDI+ installed! It is required for the Archive tool to "
        "work.\r\n\r\nDo you want to download it Now?",
        platform::msgbox::kYesNo, kAppTitle);
    if (answer == platform::msgbox::kYes) services_.files.subExecute(kImagingDownloadPage, "", "");
    // The options were not restored: closing must not store the window's initial values.
    services_.connection.subEndProgram();
  }
  // 3. The file service.
  services_.files.subSetupFS();
  // 4. The stored options.
  hooks_.restoreOptions(*this);
  optionsRestored_ = true;
  // 5. The lists (attaches and checks the knowledge-base folder on the way).
  outlook::subPopulateLists(
      services_.connection, services_.services.reporter, services_.dialogs,
      outlook::ListControls{lstProblemCategory, lstProblemType, chkSelectAllCategory,
                            chkSelectAllType, optGroup, cmdGenerate},
      this);
  // 6. The mail application, should the lists not have attached it.
  while (!services_.connection.objOutlook) {
    services_.services.reporter.subLogStep("Trying to open Outlook");
    services_.connection.subStartOutlook(6);
    services_.connection.subGetCurrentFolder(9);
  }
}

void frmMain::Unload() {
  services_.connection.RemoveWindow(this);
  loaded_ = false;
  Form_Unload();
}

void frmMain::Form_Unload() {
  hooks_.stopImaging();
  if (optionsRestored_) hooks_.saveOptions(*this);
  services_.connection.subEndProgram();
}

void frmMain::cmdGenerate_Click() {
  const bool starts = !runner_.Running() && cmdGenerate.Caption() == "Generate";
  runner_.cmdGenerate_Click();
  if (starts) hooks_.runEnded(runner_.LastRun());
}

void frmMain::cmdExit_Click() {
  bCancel = true;
  if (optionsRestored_) hooks_.saveOptions(*this);
  services_.connection.subEndProgram();
}

void frmMain::lblWebLink_Click() {
  services_.files.subExecute(LORVA_WEB_SITE, "", "");
}

void frmMain::chkExtractIndexPage_Click() {
  const bool enable = chkExtractIndexPage.Value() != 0;
  optGroup.SetEnabled(0, enable);
  optGroup.SetEnabled(1, enable);
}

void frmMain::optGroup_Click(int index) {
  if (index != 0) {
    chkCollapse.SetEnabled(false);
    chkCollapseInitially.SetEnabled(false);
  } else {
    chkCollapse.SetEnabled(true);
    if (chkCollapse.Value() == 1) chkCollapseInitially.SetEnabled(true);
  }
}

void frmMain::chkCollapse_Click() {
  chkCollapseInitially.SetEnabled(chkCollapse.Value() == 1);
}

void frmMain::txtNumbering_KeyPress(int& keyAscii) {
  int extra = -1;
  subNumbersOnly(keyAscii, extra);
}

void frmMain::chkSelectAllCategory_Click() {
  outlook::SelectAllEntries(chkSelectAllCategory, lstProblemCategory);
}

void frmMain::chkSelectAllType_Click() {
  outlook::SelectAllEntries(chkSelectAllType, lstProblemType);
}

void subNumbersOnly(int& keyAscii, int& extraKey) {
  if (keyAscii == extraKey) return;
  if (keyAscii >= 48 && keyAscii <= 57) return;
  if (keyAscii == 8) return;
  keyAscii = 0;
}

void ApplyDefaultOptions(frmMain& form) {
  form.Caption = WindowCaptionText();
  form.txtDestination.SetText("");
  form.optNaming.Select(0);
  form.txtNumbering.SetText("1000");
  form.chkExtractIndexPage.SetValue(1);
  form.chkOverwrite.SetValue(1);
  form.chkRun.SetValue(1);
  form.optGroup.Select(0);
  form.optGroup_Click(0);
  form.chkAttachments.SetValue(1);
  form.chkCollapse.SetValue(1);
  form.chkCollapse_Click();
  form.chkCollapseInitially.SetValue(1);
}

}  // namespace lorva
