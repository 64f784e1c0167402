// The program-wide services for a test: scripted dialogs, a reporter whose end of the program
// throws ProgramEnded (counted) and whose mail application is `outlook`, and the real file
// service.
#pragma once

#include <memory>
#include <string>

#include "base/error.h"
#include "support/error_reporter.h"
#include "support/file_handling.h"
#include "support_code/scripted_dialogs.h"

namespace lorva::testing {

class TestServices {
 public:
  TestServices()
      : reporter(dialogs, {[this]() -> std::shared_ptr<outlook::Application> {
                             if (attachFails)
                               throw Error(errnum::kCannotCreateObject, "No mail application");
                             return outlook;
                           },
                           [this] {
                             ++endCalls;
                             throw ProgramEnded{1};
                           },
                           [] { return std::string("Linux 6.1"); }}),
        services{reporter, std::make_shared<FileSystemObject>()} {}
  TestServices(const TestServices&) = delete;
  TestServices& operator=(const TestServices&) = delete;

  // Makes the reporter return instead of ending the program, as when its report cannot be
  // composed: the dialog is answered Yes and the mail application cannot be reached.
  void MakeReportsReturn() {
    dialogs.SetDefaultYes(true);
    attachFails = true;
  }

  // The text of the last error dialog, or "" when none was shown.
  std::string LastErrorDialog() const {
    for (auto it = dialogs.shown().rbegin(); it != dialogs.shown().rend(); ++it) {
      if (it->text.rfind("There has been an error in this application.", 0) == 0) return it->text;
    }
    return "";
  }

  ScriptedDialogs dialogs;
  ErrorReporter reporter;
  Services services;
  int endCalls = 0;
  bool attachFails = false;
  std::shared_ptr<outlook::Application> outlook;  // what attaching to the mail application gives
};

}  // namespace lorva::testing
