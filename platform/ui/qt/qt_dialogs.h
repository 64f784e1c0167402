// The dialogs as real modal Qt dialogs: message boxes, the folder browser and the mail store's
// folder picker (a tree of the store's folders).
#pragma once

#include <QWidget>

#include "platform/ui/dialogs.h"

namespace lorva::platform {

class QtDialogs : public Dialogs {
 public:
  // `parent` (may be null) owns the dialogs while they are shown.
  explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  int MsgBox(const std::string& prompt, int style, const std::string& title) override;
  std::string BrowseForFolder(const std::string& title, const std::string& startFolder) override;
  std::string PickMailFolder(const std::vector<std::string>& folderPaths,
                             const std::string& currentPath) override;

 private:
  QWidget* parent_;
};

}  // namespace lorva::platform
