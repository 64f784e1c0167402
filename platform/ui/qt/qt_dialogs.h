// The dialogs as real modal Qt dialogs: message boxes, the folder browser and the mail store's
// folder picker (a tree of the store's folders).
#pragma once

#include <QWidget>

#include "platform/ui/dialogs.h"

namespace lorva::platform {

// Each dialog opens centred on the main window while that is shown, else centred on the screen
// (at start-up the window is shown only once it has loaded).
class QtDialogs : public Dialogs {
 public:
  // `parent` (may be null): the main window, owning the dialogs while it is shown.
  explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  int MsgBox(const std::string& prompt, int style, const std::string& title) override;
  std::string BrowseForFolder(const std::string& title, const std::string& startFolder) override;
  std::string PickMailFolder(const std::vector<std::string>& folderPaths,
                             const std::string& currentPath) override;

 private:
  // The dialogs' owner: the main window when it is shown, else none.
  QWidget* Owner() const;

  QWidget* parent_;
};

}  // namespace lorva::platform
