// The program's parts wired together once: the error reporter, the file service, the connection
// to the mail application, the rich-text route and the main window model. The window and the
// batch mode each build one Program over their own dialogs, event pump and shell.
#pragma once

#include <functional>
#include <memory>

#include "app/frm_main.h"
#include "outlook/connection.h"
#include "page/rich_text_route.h"
#include "platform/mailstore/store.h"
#include "platform/shell/shell.h"
#include "platform/ui/dialogs.h"
#include "support/error_reporter.h"
#include "support/file_handling.h"

namespace lorva {

struct ProgramPlatform {
  platform::Dialogs& dialogs;
  platform::EventPump& pump;
  platform::Shell& shell;                  // addresses and programs (subExecute)
  outlook::ApplicationLauncher& launcher;  // the mail application
  bool openIndexWhenDone = true;           // false: "Run index.htm when done" opens nothing
};

using RouteFactory = std::function<std::unique_ptr<RichTextRoute>(Services&)>;
// Makes the window's start-up and closing hooks once the program's services exist.
using HooksFactory = std::function<FormHooks(Services&)>;

class Program {
 public:
  // `makeHooks` (may be empty: the default hooks) and `makeRoute` (may be empty) makes the
  // rich-text route; without it the route is unavailable.
  Program(ProgramPlatform platform, const HooksFactory& makeHooks,
          const RouteFactory& makeRoute = {});
  ~Program();

  frmMain& form() { return *form_; }
  ErrorReporter& reporter() { return reporter_; }
  outlook::Connection& connection() { return *connection_; }

 private:
  ProgramPlatform platform_;
  std::unique_ptr<outlook::Connection> connection_;
  ErrorReporter reporter_;
  Services services_;
  FileHandling files_;
  std::unique_ptr<RichTextRoute> route_;
  std::unique_ptr<frmMain> form_;
};

// Makes `folderPath` the folder the store's explorer shows (opening an explorer on it when none
// is open), as when the user opens that folder in the mail application. False when the store has
// no such folder.
bool ShowStoreFolder(mailstore::MailStore& store, const std::string& folderPath);

}  // namespace lorva
