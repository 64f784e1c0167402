// Error reporting and progress steps (the module every error trap reports to), and the two
// message routines that show information and questions through the mail application's
// assistant, with a message box as fallback.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/outlook/object_model.h"
#include "platform/ui/dialogs.h"

namespace lorva {

// The application's own title, and the product's display name used as message-box title.
inline constexpr const char* kAppTitle = "LorvaArchive";
inline constexpr const char* kProductName = "Lorva for Outlook";

class ErrorReporter {
 public:
  struct Hooks {
    // Attaches to the mail application when not yet attached (subStartOutlook(6)) and returns
    // it; may throw.
    std::function<std::shared_ptr<outlook::Application>()> attachOutlook;
    // Ends the program (subEndProgram); does not return (throws ProgramEnded).
    std::function<void()> endProgram;
    // The operating system's name for the report's first line and e-mail subject.
    std::function<std::string()> osName;
  };

  ErrorReporter(platform::Dialogs& dialogs, Hooks hooks);

  // Records `text` as the current progress step.
  void subLogStep(const std::string& text);
  const std::string& fncGetCurrentStep() const { return currentStep_; }

  // Shows the error dialog with the current step and offers the e-mail report, then ends the
  // program. Returns only when composing or showing the report failed.
  void subErrorHandler(const std::string& description, std::int32_t number, std::int16_t line,
                       const std::string& routine);
  // The same for a caught error.
  void Report(const class Error& error, const std::string& routine);

  // An information message, through the host's assistant when it has one.
  void subAssistantMessage(const std::shared_ptr<outlook::Application>& host,
                           const std::string& message);
  // A question (buttons: a message-box button code, 4 for Yes and No); returns the answer.
  int fncAssistantQuestion(const std::shared_ptr<outlook::Application>& host,
                           const std::string& message, int buttons);

  // The detail text of the last report (also the e-mail body).
  const std::string& ReportText() const { return reportText_; }
  bool ReportShown() const { return reportShown_; }
  // The dialogs the reporter shows its messages with (also used for the other messages of the
  // support services).
  platform::Dialogs& dialogs() const { return dialogs_; }

 private:
  void subSendErrorReport(const std::shared_ptr<outlook::Application>& app);

  platform::Dialogs& dialogs_;
  Hooks hooks_;
  std::string currentStep_;
  std::string reportText_;
  bool reportShown_ = false;
};

// The running system's name for reports: the kernel's name and its major.minor release
// ("Linux 6.1"), or "" when the system does not say.
std::string LinuxOsName();

}  // namespace lorva
