#include "support/file_handling.h"

#include <cctype>
#include <exception>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/files.h"
#include "base/steps.h"
#include "base/text_rules.h"

namespace lorva {
namespace {

// Splits a parameter text into arguments at blanks; double quotes group blanks into one
// argument and are dropped.
std::vector<std::string> SplitParameters(const std::string& parameters) {
  std::vector<std::string> arguments;
  std::string current;
  bool quoted = false;
  bool inArgument = false;
  for (const char c : parameters) {
    if (c == '"') {
      quoted = !quoted;
      inArgument = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inArgument) arguments.push_back(std::move(current));
      current.clear();
      inArgument = false;
    } else {
      current += c;
      inArgument = true;
    }
  }
  if (inArgument) arguments.push_back(std::move(current));
  return arguments;
}

}  // namespace

FileSystemObject& Services::Fs() const {
  if (!fs) throw Error(errnum::kObjectNotSet, "Object variable or With block variable not set");
  return *fs;
}

FileHandling::FileHandling(Services& services, platform::Shell& shell, FileSystemFactory factory,
                           std::function<void()> registerRuntime)
    : services_(services),
      shell_(shell),
      factory_(std::move(factory)),
      registerRuntime_(std::move(registerRuntime)) {}

void FileHandling::subSetupFS() {
  if (services_.fs) return;
  services_.reporter.subLogStep(
      "Creating Scripting.FileSystemObject\r\nThis component is normally installed with "
      "Internet Explorer 4.0 or later");
  Error failure(errnum::kCannotCreateObject, "ActiveX component can't create object");
  try {
    services_.fs = factory_ ? factory_() : std::make_shared<FileSystemObject>();
  } catch (const std::exception& e) {
    failure = ErrorFromException(e);
  }
  if (services_.fs) return;
  if (!registrationTried_) {
    if (registerRuntime_) SkipOnFailure(registerRuntime_);
    registrationTried_ = true;
    subSetupFS();
    return;
  }
  services_.reporter.Report(failure, "subSetupFS");
}

std::string FileHandling::fncReadTextFile(const std::string& path) {
  std::string result;
  try {
    subSetupFS();
    services_.reporter.subLogStep("Attempting to read contents of file " + path);
    FileSystemObject& fs = services_.Fs();
    if (fs.FileExists(path)) {
      std::unique_ptr<TextStream> stream = fs.OpenTextFile(path, 1, false, 0);
      if (!stream->AtEndOfStream()) result = stream->ReadAll();
      stream->Close();
    }
  } catch (const std::exception& e) {
    services_.reporter.Report(ErrorFromException(e), "fncReadTextFile");
  }
  return result;
}

void FileHandling::subExecute(const std::string& target, const std::string& parameters,
                              const std::string& folder) {
  try {
    services_.reporter.subLogStep("Attempting to execute " + target + " " + parameters + " " +
                                  folder);
    const std::string_view prefix = std::string_view(target).substr(0, 4);
    if (EqualIgnoringAsciiCase(prefix, "HTTP") || EqualIgnoringAsciiCase(prefix, "MAIL")) {
      shell_.Open(target);
      return;
    }
    // The file service is needed for the candidate test already.
    subSetupFS();
    std::string candidate;
    if (!folder.empty()) candidate = fncStripTrailingSlash(folder) + "/" + target;
    if (folder.empty() || !services_.Fs().FileExists(candidate)) {
      candidate = fncStripTrailingSlash(ProgramFolder()) + "/" + target;
    }
    subSetupFS();
    services_.reporter.subLogStep("Attempting to execute the path '" + candidate + "'");
    if (services_.Fs().FileExists(candidate)) {
      shell_.Start(candidate, SplitParameters(parameters));
    } else {
      services_.reporter.dialogs().MsgBox(
          "Error trying to run the file at" + std::string(" ") + candidate + "\r\n",
          platform::msgbox::kCritical + platform::msgbox::kOkOnly, kProductName);
    }
  } catch (const std::exception& e) {
    services_.reporter.Report(ErrorFromException(e), "modFileHandling.subExecute");
  }
}

std::string fncStripTrailingSlash(const std::string& path) {
  if (!path.empty() && (path.back() == '/' || path.back() == '\\')) {
    return path.substr(0, path.size() - 1);
  }
  return path;
}

std::string fncGetVersion() {
  return std::to_string(LORVA_VERSION_MAJOR) + "." + std::to_string(LORVA_VERSION_MINOR) + "." +
         std::to_string(LORVA_VERSION_REVISION);
}

}  // namespace lorva
