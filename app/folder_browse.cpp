#include "app/folder_browse.h"

#include <filesystem>

#include "app/frm_main.h"
#include "base/error.h"

namespace lorva {

std::string Folder_Browse(ErrorReporter& reporter, platform::Dialogs& dialogs, BrowseState& state,
                          const std::string& title, std::int32_t /*flags*/) {
  try {
    reporter.subLogStep("Calling the Folder for Browse dialog");
    const std::string chosen = dialogs.BrowseForFolder(title, state.startFolder);
    reporter.subLogStep("Returning selected folder from the Browse dialog");
    if (!chosen.empty()) state.pickedName = std::filesystem::path(chosen).filename().string();
    return chosen;
  } catch (const Error& error) {
    reporter.Report(error, "modBrowseForFolder.Folder_Browse");
    return "";
  }
}

void frmMain::cmdBrowseDestination_Click() {
  browse_.startFolder = txtDestination.Text();
  const std::string chosen =
      Folder_Browse(services_.services.reporter, services_.dialogs, browse_,
                    "Please select a valid file folder to place all the generated webpages.", 68);
  if (chosen.find_first_not_of(' ') == std::string::npos) return;  // cancelled
  txtDestination.SetText(chosen);
  browse_.root = 0;
  browse_.startFolder.clear();
  browse_.pickedName.clear();
}

}  // namespace lorva
