// The connection to the mail application (modOutlookCode): attaching, the version test, the
// explorer window, the knowledge-base folder and its check, and the end of the program. The
// program-wide connection objects live in one Connection.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/outlook/object_model.h"
#include "platform/ui/dialogs.h"
#include "support/file_handling.h"

namespace lorva::outlook {

// A loaded window, as the end of the program unloads it. Unload runs the window's closing steps
// and removes it from the connection's list of loaded windows (or leaves it there when it stays).
class LoadedWindow {
 public:
  virtual ~LoadedWindow() = default;
  virtual void Unload() = 0;
  // The window's caption (brought to the front by title after the folder picker).
  virtual std::string WindowCaption() const = 0;
  virtual void SetFocus() {}
};

class Connection {
 public:
  // `services` gives the reporter (progress steps, assistant messages) and the file service
  // released at the end; `launcher` reaches the mail application.
  Connection(Services& services, ApplicationLauncher& launcher, platform::Dialogs& dialogs);

  // The program-wide connection objects (nothing until set).
  std::shared_ptr<Application> objOutlook;
  std::shared_ptr<NameSpace> objNameSpace;
  std::shared_ptr<Folder> objKBFolder;

  // Brings the window with this title to the foreground (window activation by title); a no-op
  // unless the platform supplies one.
  std::function<void(const std::string&)> activateWindowByTitle;

  // Attaches to the mail application when not yet attached, tests its version and makes sure it
  // shows an explorer window. Ends the program (throws ProgramEnded) when no application can be
  // had or it is older than 2000.
  void subStartOutlook(std::int32_t defaultFolderKind);
  // The application's major version (cached after the first read).
  std::int16_t fncGetOutlookVersion();
  // Sets the knowledge-base folder to the application's current folder. Never throws an Error.
  void subGetCurrentFolder(std::int32_t defaultFolderKind);
  // Shows the folder picker; the chosen folder, or nothing. Never throws an Error.
  std::shared_ptr<Folder> fncPickFolder(LoadedWindow* form);
  // The knowledge-base folder check: takes the current folder and, until it is a knowledge-base
  // folder, asks whether to pick one (No ends the program). Returns with objKBFolder set to a
  // knowledge-base folder.
  void CheckKnowledgeBaseFolder(LoadedWindow* form);

  // Unloads every loaded window (last loaded first), releases the connection objects and the
  // file service, and ends the program by throwing ProgramEnded{exitCode}.
  [[noreturn]] void subEndProgram(int exitCode = 0);

  // The loaded windows, first loaded first.
  void AddWindow(LoadedWindow* window);
  void RemoveWindow(LoadedWindow* window);
  std::size_t LoadedWindowCount() const { return windows_.size(); }

  // Whether the end of the program has begun.
  bool Ending() const { return ending_; }

 private:
  Services& services_;
  ApplicationLauncher& launcher_;
  platform::Dialogs& dialogs_;
  std::int16_t majorVersion_ = 0;
  std::vector<LoadedWindow*> windows_;
  bool ending_ = false;
};

// The part of `versionText` before its first "." as a 16-bit number; the whole text when it has
// no "."; 0 when that part is not a whole number in range. `versionText` is cut as described.
std::int16_t fncGetMajorVersion(std::string& versionText);

// Whether a folder home page address ends with "OLorva.htm" (its last ten characters, compared
// exactly).
bool IsKnowledgeBaseHomePage(const std::string& webViewUrl);

}  // namespace lorva::outlook
