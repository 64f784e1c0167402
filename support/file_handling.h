// File handling beyond the file service itself: setting the service up, reading a whole text
// file, the program's version, trimming a trailing separator, and opening addresses and
// starting programs through the shell.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/shell/shell.h"
#include "support/error_reporter.h"
#include "support/file_system.h"

namespace lorva {

// The program-wide services most routines reach: the reporter and the file service.
struct Services {
  ErrorReporter& reporter;
  std::shared_ptr<FileSystemObject> fs;  // set by subSetupFS; nothing before

  // The file service; throws Error 91 when it has not been set up.
  FileSystemObject& Fs() const;
};

// Makes the file service for subSetupFS: returns nothing when it cannot be created. The
// default makes the std::filesystem one; tests inject failures.
using FileSystemFactory = std::function<std::shared_ptr<FileSystemObject>()>;

class FileHandling {
 public:
  FileHandling(Services& services, platform::Shell& shell, FileSystemFactory factory,
               std::function<void()> registerRuntime);

  // Makes sure services.fs is set, re-registering the runtime once when creation fails.
  void subSetupFS();
  // The whole text of the file; "" when it does not exist or is empty.
  std::string fncReadTextFile(const std::string& path);
  // Opens an address (first four letters "HTTP" or "MAIL", any case) or starts a program.
  void subExecute(const std::string& target, const std::string& parameters,
                  const std::string& folder);

 private:
  Services& services_;
  platform::Shell& shell_;
  FileSystemFactory factory_;
  std::function<void()> registerRuntime_;
  bool registrationTried_ = false;
};

// The path without its last character when that is "/" or "\"; otherwise unchanged.
std::string fncStripTrailingSlash(const std::string& path);
// The program's version: major.minor.revision in plain decimal ("2.1.362").
std::string fncGetVersion();

}  // namespace lorva
