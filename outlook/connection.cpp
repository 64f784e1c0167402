#include "outlook/connection.h"

#include <algorithm>

#include "base/error.h"
#include "base/steps.h"
#include "base/text_rules.h"

namespace lorva::outlook {

namespace {

constexpr const char* kHomePageName = "OLorva.htm";

}  // namespace

Connection::Connection(Services& services, ApplicationLauncher& launcher,
                       platform::Dialogs& dialogs)
    : services_(services), launcher_(launcher), dialogs_(dialogs) {}

void Connection::subStartOutlook(std::int32_t defaultFolderKind) {
  services_.reporter.subLogStep("Attempting to start MS Outlook 2000 or later");
  if (objOutlook) return;

  // Attach to the running application, else start one: by class, then by program identifier.
  if (auto app = ValueOrNothing([&] { return launcher_.GetRunning("Outlook.Application"); })) {
    objOutlook = *app;
  }
  if (!objOutlook) {
    if (auto app = ValueOrNothing([&] { return launcher_.Create(""); })) objOutlook = *app;
  }
  for (const char* progId :
       {"Outlook.Application.12", "Outlook.Application.11", "Outlook.Application.10",
        "Outlook.Application.9", "Outlook.Application"}) {
    if (objOutlook) break;
    if (auto app = ValueOrNothing([&] { return launcher_.Create(progId); })) objOutlook = *app;
  }
  if (!objOutlook) {
    dialogs_.MsgBox("Please start Outlook manually before you execute this application!",
                    platform::msgbox::kOkOnly, kAppTitle);
    subEndProgram();
  }

  // Version test. A version that cannot be read is passed over like the attach steps' failures:
  // the test then lets the application through.
  auto read = ValueOrNothing([&] { return fncGetOutlookVersion(); });
  const std::int16_t version = read ? *read : 9;
  if (version >= 9) {
    if (auto ns = ValueOrNothing([&] { return objOutlook->GetNamespace("MAPI"); })) {
      objNameSpace = *ns;
    }
  } else {
    dialogs_.MsgBox(
        "You need Outlook 2000 or later to run this application.\r\n" + std::to_string(version),
        platform::msgbox::kCritical, kProductName);
    subEndProgram();
  }

  // Make sure an explorer window is shown. Failures here are passed over.
  auto active = ValueOrNothing([&] { return objOutlook->ActiveExplorer(); });
  if (!active || !*active) {
    SkipOnFailure([&] {
      auto explorers = objOutlook->Explorers();
      if (explorers->Count() == 0) {
        if (!objNameSpace) throw Error(errnum::kObjectNotSet, "Object variable not set");
        explorers->Add(objNameSpace->GetDefaultFolder(defaultFolderKind), 0);
      }
    });
    SkipOnFailure([&] { objOutlook->Explorers()->Item(1)->Activate(); });
  }
}

std::int16_t Connection::fncGetOutlookVersion() {
  if (majorVersion_ != 0) return majorVersion_;
  if (!objOutlook) subStartOutlook(6);
  if (majorVersion_ != 0) return majorVersion_;  // read meanwhile by the attach above
  std::string version = objOutlook->Version();
  majorVersion_ = fncGetMajorVersion(version);
  return majorVersion_;
}

std::int16_t fncGetMajorVersion(std::string& versionText) {
  const std::size_t dot = versionText.find('.');
  if (dot != std::string::npos) versionText = versionText.substr(0, dot);
  // Blanks around the number are allowed, as the conversion to a number allows them.
  return ParseInteger16(TrimBlanks(versionText)).value_or(0);
}

bool IsKnowledgeBaseHomePage(const std::string& webViewUrl) {
  const std::string name = kHomePageName;
  return webViewUrl.size() >= name.size() &&
         webViewUrl.compare(webViewUrl.size() - name.size(), name.size(), name) == 0;
}

void Connection::subGetCurrentFolder(std::int32_t defaultFolderKind) {
  if (!objOutlook) subStartOutlook(6);
  bool failed = false;
  auto step = [&](auto&& body) {
    if (!SkipOnFailure(body)) failed = true;
  };
  auto notSet = [] {
    return Error(errnum::kObjectNotSet, "Object variable or With block variable not set");
  };

  int count = 0;
  std::shared_ptr<Folder> current;
  step([&] { count = objOutlook->Explorers()->Count(); });
  step([&] {
    auto explorer = objOutlook->ActiveExplorer();
    if (!explorer) throw notSet();
    current = explorer->CurrentFolder();
  });
  if (count == 0 || !current) {
    std::shared_ptr<NameSpace> ns;
    std::shared_ptr<Folder> folder;
    std::shared_ptr<Explorer> explorer;
    step([&] { ns = objOutlook->GetNamespace("MAPI"); });
    step([&] {
      if (!ns) throw notSet();
      folder = ns->GetDefaultFolder(defaultFolderKind);
    });
    step([&] { explorer = objOutlook->Explorers()->Add(folder, 0); });
    step([&] {
      if (!explorer) throw notSet();
      explorer->Display();
    });
  }
  step([&] {
    auto explorer = objOutlook->ActiveExplorer();
    if (!explorer) throw notSet();
    objKBFolder = explorer->CurrentFolder();
  });
  if (failed) {
    services_.reporter.subAssistantMessage(objOutlook,
                                           "Unable to connect to current Outlook folder!");
  }
}

std::shared_ptr<Folder> Connection::fncPickFolder(LoadedWindow* form) {
  if (!objOutlook) subStartOutlook(6);
  SkipOnFailure([&] {
    auto explorer = objOutlook->ActiveExplorer();
    if (explorer) explorer->Activate();
  });
  SkipOnFailure([&] {
    std::string caption = objOutlook->ActiveWindowCaption();
    if (activateWindowByTitle) activateWindowByTitle(caption);
  });
  std::shared_ptr<Folder> picked;
  SkipOnFailure([&] {
    auto ns = objOutlook->GetNamespace("MAPI");
    if (ns) picked = ns->PickFolder();
  });
  if (form) {
    SkipOnFailure([&] {
      if (activateWindowByTitle) activateWindowByTitle(form->WindowCaption());
      form->SetFocus();
    });
  }
  return picked;
}

void Connection::CheckKnowledgeBaseFolder(LoadedWindow* form) {
  services_.reporter.subLogStep("Trying to open Outlook");
  subStartOutlook(6);
  subGetCurrentFolder(9);
  // A folder that is missing (picker closed without a choice, no current folder) or whose home
  // page cannot be read is asked about like any folder that is not a knowledge-base folder.
  auto passes = [](const std::shared_ptr<Folder>& folder) {
    if (!folder) return false;
    auto url = ValueOrNothing([&] { return folder->WebViewURL(); });
    return url && IsKnowledgeBaseHomePage(*url);
  };
  while (!passes(objKBFolder)) {
    const int answer = services_.reporter.fncAssistantQuestion(
        objOutlook, "Failed to get Knowledge Base Folder!\r\nWould you like to select it now?",
        platform::msgbox::kYesNo);
    if (answer == platform::msgbox::kYes) {
      objKBFolder = fncPickFolder(form);
    } else {
      subEndProgram();
    }
  }
}

void Connection::AddWindow(LoadedWindow* window) {
  windows_.push_back(window);
}

void Connection::RemoveWindow(LoadedWindow* window) {
  windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
}

void Connection::subEndProgram(int exitCode) {
  if (!ending_) {
    ending_ = true;
    std::size_t n = windows_.size();
    while (n > 0) {
      LoadedWindow* window = windows_[n - 1];
      try {
        window->Unload();
      } catch (const ProgramEnded&) {
        // The window's closing steps end the program too; this end goes on.
      } catch (...) {
      }
      if (windows_.size() == n) break;  // the window stayed
      n = windows_.size();
    }
    services_.fs.reset();
    objKBFolder.reset();
    objNameSpace.reset();
    objOutlook.reset();
  }
  throw ProgramEnded{exitCode};
}

}  // namespace lorva::outlook
