#include "support/error_reporter.h"

#include <sys/utsname.h>

#include <exception>
#include <utility>

#include "base/error.h"
#include "base/steps.h"
#include "support/file_handling.h"

#ifndef LORVA_SUPPORT_MAILBOX
#define LORVA_SUPPORT_MAILBOX "support@lorva.example"
#endif

namespace lorva {
namespace {

const char kCrLf[] = "\r\n";

}  // namespace

std::string LinuxOsName() {
  struct utsname name;
  if (::uname(&name) != 0) return "";
  std::string release = name.release;
  // Keep major.minor: "6.1.0-18-amd64" gives "6.1".
  std::size_t end = 0;
  int dots = 0;
  while (end < release.size()) {
    const char c = release[end];
    if (c == '.') {
      if (++dots == 2) break;
    } else if (c < '0' || c > '9') {
      break;
    }
    ++end;
  }
  release.resize(end);
  if (!release.empty() && release.back() == '.') release.pop_back();
  std::string result = name.sysname;
  if (!release.empty()) result += " " + release;
  return result;
}

ErrorReporter::ErrorReporter(platform::Dialogs& dialogs, Hooks hooks)
    : dialogs_(dialogs), hooks_(std::move(hooks)) {}

void ErrorReporter::subLogStep(const std::string& text) {
  currentStep_ = text;
}

void ErrorReporter::Report(const Error& error, const std::string& routine) {
  subErrorHandler(error.description(), error.number(), 0, routine);
}

namespace {

[[noreturn]] void EndProgram(const std::function<void()>& endProgram) {
  if (endProgram) endProgram();
  throw ProgramEnded{1};
}

}  // namespace

void ErrorReporter::subErrorHandler(const std::string& description, std::int32_t number,
                                    std::int16_t line, const std::string& routine) {
  if (!reportShown_) {
    try {
      const std::string os = hooks_.osName ? hooks_.osName() : LinuxOsName();
      std::string dialog = std::string("There has been an error in this application.") + " " +
                           kProductName + " (" + os + ")" + kCrLf + std::string(70, '-') + kCrLf +
                           kCrLf;
      reportText_ = std::string("This error has occured:") + " :" + kCrLf;
      reportText_ += currentStep_ + kCrLf + kCrLf;
      reportText_ += std::string("The system error message was:") + " :" + kCrLf;
      reportText_ += description + kCrLf + "#" + std::to_string(number) + kCrLf + kCrLf;
      reportText_ += std::string("Sub routine") + " : " + routine + " " + kCrLf;
      reportText_ += std::string("Error on line") + ": " + std::to_string(line);
      dialog += reportText_ + kCrLf + kCrLf +
                "Would you like to send an e-mail with an error report?" + "?";

      reportShown_ = true;
      const int answer = dialogs_.MsgBox(dialog, platform::msgbox::kYesNo, kProductName);
      if (answer == platform::msgbox::kYes) {
        std::shared_ptr<outlook::Application> app =
            hooks_.attachOutlook ? hooks_.attachOutlook() : nullptr;
        if (!app) {
          throw Error(errnum::kObjectNotSet, "Object variable or With block variable not set");
        }
        reportText_ += std::string(kCrLf) + "Outlook Version: " + app->Version() + kCrLf;
        subSendErrorReport(app);
      }
    } catch (const Error&) {
      return;  // the report is abandoned; the caller's trap goes on
    } catch (const std::exception&) {
      return;
    }
  }
  EndProgram(hooks_.endProgram);
}

void ErrorReporter::subSendErrorReport(const std::shared_ptr<outlook::Application>& app) {
  bool failed = false;
  const auto attempt = [&failed](auto&& step) {
    if (!SkipOnFailure(step)) failed = true;
  };
  std::shared_ptr<outlook::MailItem> item;
  const auto requireItem = [&item]() -> outlook::MailItem& {
    if (!item) throw Error(errnum::kObjectNotSet, "Object variable or With block variable not set");
    return *item;
  };
  attempt([&] {
    item = app->CreateItem(0);
    requireItem();
  });
  attempt([&] { requireItem().SetTo(LORVA_SUPPORT_MAILBOX); });
  attempt([&] {
    const std::string os = hooks_.osName ? hooks_.osName() : LinuxOsName();
    requireItem().SetSubject(std::string("Error in ") + kProductName + " " + fncGetVersion() +
                             " (" + os + ")");
  });
  attempt([&] { requireItem().SetBody(reportText_); });
  attempt([&] { requireItem().Save(); });
  attempt([&] { requireItem().Display(); });
  if (failed) {
    SkipOnFailure([&] {
      dialogs_.MsgBox("Failed to send error email using MS Outlook!", platform::msgbox::kCritical,
                      kProductName);
    });
  }
  item.reset();
  EndProgram(hooks_.endProgram);
}

void ErrorReporter::subAssistantMessage(const std::shared_ptr<outlook::Application>& host,
                                        const std::string& message) {
  // Bringing the host's active window to the front has no counterpart here: the stand-in mail
  // application has no windows of its own.
  const bool shown = SkipOnFailure([&] {
    if (!host) throw Error(errnum::kObjectNotSet, "No host application");
    subLogStep("Creating Assistant to display message " + message);
    std::shared_ptr<outlook::Assistant> assistant = host->Assistant();
    if (!assistant) throw Error(errnum::kObjectNotSet, "No assistant");
    assistant->SetVisible(true);
    assistant->DoAlert(kProductName, message, 0, 4, 0, -1, false);
  });
  if (!shown) {
    dialogs_.MsgBox(message, platform::msgbox::kInformation, kProductName);
  }
}

int ErrorReporter::fncAssistantQuestion(const std::shared_ptr<outlook::Application>& host,
                                        const std::string& message, int buttons) {
  const std::optional<int> answer = ValueOrNothing([&] {
    subLogStep("Creating Assistant to display message " + message);
    if (!host) throw Error(errnum::kObjectNotSet, "Object variable or With block variable not set");
    std::shared_ptr<outlook::Assistant> assistant = host->Assistant();
    if (!assistant) throw Error(errnum::kObjectNotSet, "No assistant");
    assistant->SetVisible(true);
    return assistant->DoAlert(kProductName, message, 4, 2, 0, -1, false);
  });
  if (answer) return *answer;
  return dialogs_.MsgBox(message, buttons + platform::msgbox::kQuestion, kProductName);
}

}  // namespace lorva
