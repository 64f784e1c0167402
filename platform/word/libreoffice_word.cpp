#include "platform/word/libreoffice_word.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "base/error.h"
#include "base/files.h"

extern char** environ;

namespace lorva::platform {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kSource = "LibreOffice";
constexpr auto kQuitGrace = std::chrono::seconds(15);
constexpr auto kTerminateGrace = std::chrono::seconds(2);

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

Error CannotCreate(const std::string& why) {
  return Error(errnum::kCannotCreateObject, "LibreOffice cannot be started: " + why, kSource);
}

// Thrown inside Command when the converter is given up; the callers turn it into an Error.
struct GivenUp {
  std::string why;
};

}  // namespace

std::string DefaultConverterScript() {
  if (const char* fromEnvironment = std::getenv("LORVA_CONVERTER_SCRIPT");
      fromEnvironment && *fromEnvironment) {
    return fromEnvironment;
  }
  std::vector<std::string> candidates;
  if (std::string dir = ProgramFolder(); !dir.empty()) {
    candidates.push_back(dir + "/lorva_convert.py");
    candidates.push_back(dir + "/../share/lorva-archive/lorva_convert.py");
  }
#ifdef LORVA_DATA_DIR
  candidates.push_back(std::string(LORVA_DATA_DIR) + "/platform/word/lorva_convert.py");
#endif
  for (const std::string& candidate : candidates) {
    std::error_code error;
    if (fs::is_regular_file(candidate, error)) return candidate;
  }
  return candidates.empty() ? std::string("lorva_convert.py") : candidates.back();
}

std::string FindProgram(const std::string& program) {
  if (program.empty()) return "";
  if (program.find('/') != std::string::npos) {
    return IsExecutableFile(program) ? program : "";
  }
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/local/bin:/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return "";
}

std::vector<pid_t> LiveProcessesInGroup(pid_t group) {
  std::vector<pid_t> found;
  std::error_code error;
  for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    FileBytes stat;  // nothing for a process that has ended meanwhile
    ReadWholeFile((it->path() / "stat").string(), stat);
    const std::string_view text = stat.view();
    // pid (comm) state ppid pgrp ...: the command may hold blanks and parentheses.
    const std::size_t close = text.rfind(')');
    if (close == std::string_view::npos) continue;
    std::istringstream fields(std::string(text.substr(close + 1)));
    char state = 0;
    long parent = 0, processGroup = 0;
    if (!(fields >> state >> parent >> processGroup)) continue;
    if (processGroup == group && state != 'Z' && state != 'X') {
      found.push_back(static_cast<pid_t>(std::stol(name)));
    }
  }
  return found;
}

std::string FileUrl(const std::string& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  const std::string text = error ? path : absolute.string();
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return url;
}

// One document of the converter. LibreOffice reads it when it is saved: one command loads it,
// writes the page and closes it again, so nothing stays open there between calls.
class LibreOfficeDocument : public WordDocument {
 public:
  LibreOfficeDocument(std::weak_ptr<LibreOfficeWord*> app, std::string sourceUrl, int generation)
      : app_(std::move(app)), sourceUrl_(std::move(sourceUrl)), generation_(generation) {}

  void SaveAs(const std::string& path, int format) override {
    if (format != kWordFormatFilteredHtml) {
      throw Error(errnum::kInvalidProcedureCall, "Unsupported file format", kSource);
    }
    if (closed_) throw Error(errnum::kObjectNotSet, "The document has been closed", kSource);
    LibreOfficeWord& app = Current();
    try {
      app.Command("convert " + sourceUrl_ + " " + FileUrl(path));
    } catch (const GivenUp& givenUp) {
      // A save broken off may have left a partial page behind.
      std::error_code ignored;
      fs::remove(path, ignored);
      throw Error(errnum::kPathFileAccessError, givenUp.why, kSource);
    }
  }

  // Nothing is held open in LibreOffice: closing only ends the document object.
  void Close(int) override { closed_ = true; }

 private:
  LibreOfficeWord& Current() {
    auto token = app_.lock();
    LibreOfficeWord* app = token ? *token : nullptr;
    if (!app || app->pid_ == 0 || app->starts_ != generation_) {
      throw Error(errnum::kObjectNotSet, "The document's converter has ended", kSource);
    }
    return *app;
  }

  std::weak_ptr<LibreOfficeWord*> app_;
  std::string sourceUrl_;
  int generation_;
  bool closed_ = false;
};

LibreOfficeWord::LibreOfficeWord(LibreOfficeOptions options) : options_(std::move(options)) {
  std::string program = options_.soffice;
  if (program.empty()) {
    const char* fromEnvironment = std::getenv("LORVA_SOFFICE");
    program = fromEnvironment && *fromEnvironment ? fromEnvironment : "soffice";
  }
  sofficePath_ = FindProgram(program);
  if (sofficePath_.empty()) throw CannotCreate(program + " is not installed");
  if (options_.script.empty()) options_.script = DefaultConverterScript();
  Start();
}

LibreOfficeWord::~LibreOfficeWord() {
  try {
    Stop(true);
  } catch (...) {
  }
}

void LibreOfficeWord::Start() {
  const std::string interpreter = FindProgram(options_.interpreter);
  if (interpreter.empty()) throw CannotCreate(options_.interpreter + " is not installed");
  std::error_code error;
  if (!fs::is_regular_file(options_.script, error)) {
    throw CannotCreate("the converter " + options_.script + " is missing");
  }

  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/lorva-office-XXXXXX";
  if (!::mkdtemp(pattern.data())) throw CannotCreate(std::strerror(errno));
  profile_ = pattern;
  fs::create_directory(profile_ + "/tmp", error);

  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    const std::string why = std::strerror(errno);
    fs::remove_all(profile_, error);
    profile_.clear();
    throw CannotCreate(why);
  }
  // The child's end becomes its standard input and output; keep it clear of 0 to 2.
  int child = ends[1];
  if (child <= 2) {
    child = ::fcntl(ends[1], F_DUPFD_CLOEXEC, 3);
    ::close(ends[1]);
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, child, 0);
  posix_spawn_file_actions_adddup2(&actions, child, 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int signum : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD}) sigaddset(&defaults, signum);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);  // its own group, ended as a whole
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  // LibreOffice's temporary files go below the profile too.
  std::vector<std::string> environment;
  for (char** entry = environ; entry && *entry; ++entry) {
    if (std::strncmp(*entry, "TMPDIR=", 7) != 0) environment.emplace_back(*entry);
  }
  environment.push_back("TMPDIR=" + profile_ + "/tmp");
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  const double startSeconds = std::chrono::duration<double>(options_.startTimeout).count();
  std::vector<std::string> args = {interpreter, options_.script, sofficePath_, profile_ + "/user",
                                   std::to_string(startSeconds)};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int spawned =
      ::posix_spawn(&pid, interpreter.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(child);
  if (spawned != 0) {
    ::close(ends[0]);
    fs::remove_all(profile_, error);
    profile_.clear();
    throw CannotCreate(std::strerror(spawned));
  }
  pid_ = pid;
  socket_ = ends[0];
  pending_.clear();

  std::string answer;
  try {
    // The converter gives up on LibreOffice by itself and says why; the margin leaves it time.
    const auto margin =
        std::min<std::chrono::milliseconds>(std::chrono::seconds(5), options_.startTimeout / 2);
    answer = ReadLine(Clock::now() + options_.startTimeout + margin);
  } catch (const GivenUp& givenUp) {
    answer = "error " + givenUp.why;
  }
  if (answer != "ready") {
    Stop(false);
    throw CannotCreate(answer.rfind("error ", 0) == 0 ? answer.substr(6) : answer);
  }
  ++starts_;
}

void LibreOfficeWord::Stop(bool polite) {
  if (pid_ == 0) return;
  if (polite && socket_ >= 0) {
    try {
      SendLine("quit");
      ReadLine(Clock::now() + kQuitGrace);
    } catch (const GivenUp&) {
    }
  }
  if (socket_ >= 0) {
    ::close(socket_);  // end of input: the converter quits by itself
    socket_ = -1;
  }
  // The converter ends LibreOffice on its way out; whatever remains of the group is ended here.
  // The converter is not reaped before the group is signalled, so its number stays reserved.
  auto waitForGroup = [this](std::chrono::steady_clock::duration grace) {
    const auto deadline = Clock::now() + grace;
    while (!LiveProcessesInGroup(pid_).empty() && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return LiveProcessesInGroup(pid_).empty();
  };
  if (!waitForGroup(polite ? std::chrono::seconds(5) : std::chrono::seconds(0))) {
    ::kill(-pid_, SIGTERM);
    if (!waitForGroup(kTerminateGrace)) {
      ::kill(-pid_, SIGKILL);
      waitForGroup(kTerminateGrace);
    }
  }
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = 0;
  pending_.clear();
  std::error_code error;
  fs::remove_all(profile_, error);
  profile_.clear();
}

void LibreOfficeWord::GiveUp() {
  Stop(false);
}

void LibreOfficeWord::SendLine(const std::string& line) {
  const std::string text = line + "\n";
  std::size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = ::send(socket_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw GivenUp{"the converter has ended"};
    sent += static_cast<std::size_t>(n);
  }
}

std::string LibreOfficeWord::ReadLine(Clock::time_point deadline) {
  for (;;) {
    if (const std::size_t end = pending_.find('\n'); end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return line;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) throw GivenUp{"LibreOffice did not answer in time"};
    pollfd wait{socket_, POLLIN, 0};
    const int ready = ::poll(&wait, 1, static_cast<int>(std::min<long long>(left, 1 << 30)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) throw GivenUp{std::strerror(errno)};
    if (ready == 0) continue;  // the deadline check above ends the wait
    char buffer[4096];
    const ssize_t n = ::read(socket_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw GivenUp{"the converter has ended"};
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
}

std::string LibreOfficeWord::Command(const std::string& line) {
  std::string answer;
  try {
    SendLine(line);
    answer = ReadLine(Clock::now() + options_.commandTimeout);
  } catch (const GivenUp&) {
    GiveUp();
    throw;
  }
  if (answer == "ok") return "";
  if (answer.rfind("ok ", 0) == 0) return answer.substr(3);
  throw Error(errnum::kPathFileAccessError,
              answer.rfind("error ", 0) == 0 ? answer.substr(6) : "Unexpected answer: " + answer,
              kSource);
}

std::shared_ptr<WordDocument> LibreOfficeWord::Open(const std::string& path) {
  if (quit_) throw Error(errnum::kObjectNotSet, "LibreOffice has been quit", kSource);
  if (pid_ == 0) Start();  // an earlier command was given up
  // LibreOffice reads the file when the document is saved; one that cannot be read fails here.
  const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const int openError = errno;
  struct stat info {};
  const bool regular = file >= 0 && ::fstat(file, &info) == 0 && S_ISREG(info.st_mode);
  if (file >= 0) ::close(file);
  if (!regular) {
    throw Error(
        errnum::kPathFileAccessError,
        "Cannot read " + path + ": " + (file < 0 ? std::strerror(openError) : "not a regular file"),
        kSource);
  }
  return std::make_shared<LibreOfficeDocument>(self_, FileUrl(path), starts_);
}

void LibreOfficeWord::Quit() {
  quit_ = true;
  Stop(true);
}

std::shared_ptr<WordApplication> LibreOfficeWordFactory::Create() {
  auto app = std::make_shared<LibreOfficeWord>(options_);
  ++created_;
  return app;
}

}  // namespace lorva::platform
