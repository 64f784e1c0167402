#include "page/destination.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "base/files.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kKept = ".kept-";

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// "<number>_files", the number as the page counter writes it.
bool IsAttachmentFolderName(std::string_view name) {
  constexpr std::string_view kFiles = "_files";
  if (!name.ends_with(kFiles)) return false;
  std::string_view number = name.substr(0, name.size() - kFiles.size());
  if (number.starts_with('-')) number.remove_prefix(1);
  return AllDigits(number);
}

bool IsImageFolderName(std::string_view name) {
  return name == "Images" || name == "images";
}

// Whether the process `pid` still runs. A run's own process has no other run going on when it
// starts one, so its leftovers count as ended.
bool StillRunning(pid_t pid) {
  if (pid == ::getpid()) return false;
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

// A file set aside: the name it belongs to and the process that set it aside (nothing for the
// names of earlier versions, ".<name>.kept-XXXXXX", which carried none).
struct KeptFile {
  std::string name;
  std::optional<pid_t> owner;
};

// Only conversion pages ("<number>.htm") are ever set aside.
std::optional<KeptFile> ParseKeptName(std::string_view name) {
  const std::size_t kept = name.rfind(kKept);
  if (!name.starts_with('.') || kept == std::string_view::npos) return std::nullopt;
  KeptFile file;
  file.name = std::string(name.substr(1, kept - 1));
  std::string_view number = file.name;
  if (!number.ends_with(".htm")) return std::nullopt;
  number.remove_suffix(4);
  if (number.starts_with('-')) number.remove_prefix(1);
  if (!AllDigits(number)) return std::nullopt;
  const std::string_view rest = name.substr(kept + kKept.size());
  const std::size_t dash = rest.find('-');
  if (dash != std::string_view::npos && AllDigits(rest.substr(0, dash)) &&
      rest.size() - dash - 1 == 6) {
    pid_t pid = 0;
    for (const char c : rest.substr(0, std::min<std::size_t>(dash, 9))) pid = pid * 10 + (c - '0');
    file.owner = pid;
  } else if (rest.size() != 6) {
    return std::nullopt;
  }
  return file;
}

// Removes the temporary files of ended processes in `folder`; with `scratch`, also symbolic
// links at the names of the run's rich-text copies.
void RemoveLeftovers(const fs::path& folder, bool scratch) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    const std::optional<pid_t> owner = TemporaryFileOwner(name);
    std::error_code ignored;
    if (owner && !StillRunning(*owner)) {
      fs::remove(it->path(), ignored);
    } else if (scratch && name.ends_with(".rtf") && AllDigits(name.substr(0, name.size() - 4)) &&
               it->is_symlink(ignored)) {
      fs::remove(it->path(), ignored);
    }
  }
}

}  // namespace

std::string KeptPagePattern(const std::string& path) {
  const fs::path file(path);
  std::string name = ".";  // appended piece by piece: GCC 12 warns falsely on "." + a temporary
  name.append(file.filename().string()).append(kKept).append(std::to_string(::getpid()));
  name += "-XXXXXX";
  return (file.parent_path() / name).string();
}

std::optional<FolderLink> LinkedFolderIn(const std::string& destination) {
  std::error_code error;
  const fs::path inside = fs::canonical(destination, error);
  if (error) return std::nullopt;
  for (fs::directory_iterator it(destination, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    std::error_code ignored;
    if (!(IsImageFolderName(name) || IsAttachmentFolderName(name)) || !it->is_symlink(ignored)) {
      continue;
    }
    std::error_code unresolved;
    const fs::path leads = fs::canonical(it->path(), unresolved);
    const auto [stop, rest] =
        std::mismatch(inside.begin(), inside.end(), leads.begin(), leads.end());
    if (!unresolved && stop == inside.end() && fs::is_directory(leads, ignored)) continue;
    return FolderLink{it->path().string(), fs::read_symlink(it->path(), ignored).string()};
  }
  return std::nullopt;
}

void RecoverInterruptedRun(const std::string& destination) {
  const fs::path folder(destination);
  RemoveLeftovers(folder, false);
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    std::error_code ignored;
    if (const std::optional<KeptFile> kept = ParseKeptName(name)) {
      if (!kept->owner || !StillRunning(*kept->owner)) {
        fs::rename(it->path(), folder / kept->name, ignored);
      }
    } else if ((IsImageFolderName(name) || IsAttachmentFolderName(name)) &&
               !it->is_symlink(ignored) && it->is_directory(ignored)) {
      RemoveLeftovers(it->path(), IsImageFolderName(name));
    }
  }
}

}  // namespace lorva
