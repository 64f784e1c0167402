#include "platform/shell/desktop_shell.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

#include "base/error.h"

extern char** environ;

namespace lorva::platform {
namespace {

void Spawn(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> argv_storage;
  argv_storage.reserve(arguments.size() + 1);
  argv_storage.push_back(program);
  argv_storage.insert(argv_storage.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argv_storage) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t child = 0;
  // posix_spawnp searches PATH when the program name holds no "/".
  const int result =
      ::posix_spawnp(&child, program.c_str(), nullptr, nullptr, argv.data(), environ);
  if (result != 0) {
    throw Error(errnum::kFileNotFound,
                "Cannot start \"" + program + "\": " + std::string(std::strerror(result)));
  }
  // Reap the child whenever it ends, without making the caller wait.
  std::thread([child] {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

}  // namespace

void DesktopShell::Open(const std::string& target) {
  if (target.empty()) throw Error(errnum::kInvalidProcedureCall, "Nothing to open");
  // "--" is not understood by xdg-open; a target starting with "-" is made a relative path.
  Spawn(opener_, {target.front() == '-' ? "./" + target : target});
}

void DesktopShell::Start(const std::string& program, const std::vector<std::string>& arguments) {
  if (program.empty()) throw Error(errnum::kInvalidProcedureCall, "No program to start");
  Spawn(program, arguments);
}

}  // namespace lorva::platform
