// The folder browser that picks the destination folder (modBrowseForFolder), over the dialogs
// interface: it opens on the browse start folder and gives back the chosen folder's path.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/dialogs.h"
#include "support/error_reporter.h"

namespace lorva {

// Program-wide state shared by the browser and the main window.
struct BrowseState {
  std::string startFolder;  // the folder the dialog opens on; "" for its default
  std::int32_t root = 0;    // the dialog's root: 0, the whole file system
  std::string pickedName;   // the chosen folder's name after a pick
};

// Shows the folder browser titled `title`; returns the chosen folder's path, or "" when the
// user cancelled. `flags` are kept for the callers' sake (the dialog always shows the path).
std::string Folder_Browse(ErrorReporter& reporter, platform::Dialogs& dialogs, BrowseState& state,
                          const std::string& title, std::int32_t flags);

}  // namespace lorva
