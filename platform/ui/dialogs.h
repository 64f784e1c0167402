// The dialogs the program shows, behind an interface: the Qt implementation shows real modal
// dialogs, the batch mode prints to standard error, and tests script the answers.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace lorva::platform {

// Message box styles and answers (Visual Basic's values, so that the callers' codes stand).
namespace msgbox {
inline constexpr int kOkOnly = 0;
inline constexpr int kYesNo = 4;
inline constexpr int kCritical = 16;
inline constexpr int kQuestion = 32;
inline constexpr int kExclamation = 48;
inline constexpr int kInformation = 64;
inline constexpr int kOk = 1;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
}  // namespace msgbox

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A modal message box; `style` is the sum of a button set and an icon. Returns the answer.
  virtual int MsgBox(const std::string& prompt, int style, const std::string& title) = 0;
  // The folder browser: opens on `startFolder` (when not empty); returns the chosen folder's path,
  // or "" when cancelled.
  virtual std::string BrowseForFolder(const std::string& title, const std::string& startFolder) = 0;
  // The mail store's folder picker over `folderPaths` ("Inbox", "Knowledge Base/Archive", ...);
  // returns the chosen path, or "" when closed without a choice.
  virtual std::string PickMailFolder(const std::vector<std::string>& folderPaths,
                                     const std::string& currentPath) = 0;
};

// "Yield to the message loop": lets the window handle pending events (clicks on "Cancel..",
// option changes) while a run works. Tests script it.
class EventPump {
 public:
  virtual ~EventPump() = default;
  virtual void DoEvents() = 0;
};

}  // namespace lorva::platform
