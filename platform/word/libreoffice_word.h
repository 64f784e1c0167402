// The word processor as LibreOffice Writer, headless, driven through its UNO API by one converter
// process (platform/word/lorva_convert.py run by Python) that lives as long as the application
// object. The converter starts LibreOffice with a private user profile in a temporary directory,
// so it neither disturbs nor depends on a LibreOffice the user has open, and serves one command
// at a time over a socket: convert a rich-text file into an HTML page (one command and one
// answer per document), quit.
//
// Every command is given up after a bounded time; the converter's whole process group
// (the converter, LibreOffice's launcher and LibreOffice) is then ended, and the next Open
// starts a new one. No LibreOffice process outlives the object, and the profile directory is
// removed with it.
//
// Not thread-safe: one caller drives one application object at a time.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/word/word.h"

namespace lorva::platform {

struct LibreOfficeOptions {
  // The LibreOffice program: a path, or a name looked up in PATH. "" means the environment
  // variable LORVA_SOFFICE when set, else "soffice".
  std::string soffice;
  // The interpreter that runs the converter script.
  std::string interpreter = "/usr/bin/python3";
  // The converter script; "" means the installed one (see DefaultConverterScript).
  std::string script;
  // Longest wait for LibreOffice to start and answer.
  std::chrono::milliseconds startTimeout{60000};
  // Longest wait for one open, save or close.
  std::chrono::milliseconds commandTimeout{60000};
};

// The converter script: LORVA_CONVERTER_SCRIPT when set, else lorva_convert.py beside the
// program, else in ../share/lorva-archive/ beside it, else in the source tree.
std::string DefaultConverterScript();

// Resolves `program` (a path, or a name searched in PATH) to an executable file; "" when none.
std::string FindProgram(const std::string& program);

class LibreOfficeWord : public WordApplication {
 public:
  // Starts the converter and LibreOffice. Throws Error 429 when either is missing or LibreOffice
  // does not come up within the start timeout.
  explicit LibreOfficeWord(LibreOfficeOptions options);
  ~LibreOfficeWord() override;
  LibreOfficeWord(const LibreOfficeWord&) = delete;
  LibreOfficeWord& operator=(const LibreOfficeWord&) = delete;

  // The window is never shown; kept for the object model.
  void SetVisible(bool visible) override { visible_ = visible; }
  // The rich-text file at `path` as a document; starts the converter again first when an earlier
  // command was given up. Throws when the file cannot be read. LibreOffice loads the file,
  // read-only, only when the document is saved, and SaveAs throws when it cannot be loaded or
  // LibreOffice does not answer in time; Close has nothing left to end.
  std::shared_ptr<WordDocument> Open(const std::string& path) override;
  // Ends LibreOffice and the converter and removes the profile. Later calls of Open throw.
  void Quit() override;

  // For tests and benchmarks: how many times the converter was started, the process group of
  // the running converter (0 when none), its profile directory ("" when none).
  int Starts() const { return starts_; }
  pid_t ProcessGroup() const { return pid_; }
  const std::string& ProfileDirectory() const { return profile_; }

 private:
  friend class LibreOfficeDocument;

  void Start();
  void Stop(bool polite);
  // Sends one command line and returns the answer after "ok" ("" for a bare "ok"). Throws on an
  // "error" answer; gives the converter up (and throws) when it does not answer in time.
  std::string Command(const std::string& line);
  std::string ReadLine(std::chrono::steady_clock::time_point deadline);
  void SendLine(const std::string& line);
  void GiveUp();

  LibreOfficeOptions options_;
  std::string sofficePath_;
  std::string profile_;
  pid_t pid_ = 0;
  int socket_ = -1;
  std::string pending_;  // bytes read beyond the last answer line
  bool visible_ = false;
  bool quit_ = false;
  int starts_ = 0;
  // Documents hold a weak reference to this token: a document outliving its application is
  // simply gone.
  std::shared_ptr<LibreOfficeWord*> self_ = std::make_shared<LibreOfficeWord*>(this);
};

// Creates LibreOfficeWord applications; every Create starts a new converter.
class LibreOfficeWordFactory : public WordFactory {
 public:
  explicit LibreOfficeWordFactory(LibreOfficeOptions options = {}) : options_(std::move(options)) {}
  std::shared_ptr<WordApplication> Create() override;
  // How many applications were created (started successfully).
  int Created() const { return created_; }

 private:
  LibreOfficeOptions options_;
  int created_ = 0;
};

// The processes of process group `group` that have not ended (zombies left out), from /proc.
std::vector<pid_t> LiveProcessesInGroup(pid_t group);

// A percent-encoded file URL for an absolute or relative path ("file:///tmp/a%20b.rtf").
std::string FileUrl(const std::string& path);

}  // namespace lorva::platform
