#include "page/destination.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

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

// Removes `name` from `folder` when it is a temporary file of an ended process, or, with
// `scratch`, a symbolic link at the name of one of the run's rich-text copies; returns whether
// the entry was one of those. Failures are passed over.
bool RemoveLeftover(const std::string& folder, std::string_view name, FolderEntryType type,
                    bool scratch) {
  const std::optional<pid_t> owner = TemporaryFileOwner(name);
  const bool leftover = (owner && !StillRunning(*owner)) ||
                        (scratch && type == FolderEntryType::kLink && name.ends_with(".rtf") &&
                         AllDigits(name.substr(0, name.size() - 4)));
  if (leftover) {
    std::error_code ignored;
    fs::remove(folder + "/" + std::string(name), ignored);
  }
  return owner.has_value() || leftover;
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
  std::optional<FolderLink> found;
  ListFolder(destination, [&](std::string_view name, FolderEntryType type) {
    if (found || type != FolderEntryType::kLink ||
        !(IsImageFolderName(name) || IsAttachmentFolderName(name))) {
      return;
    }
    const fs::path link = fs::path(destination) / name;
    std::error_code unresolved, ignored;
    const fs::path leads = fs::canonical(link, unresolved);
    const auto [stop, rest] =
        std::mismatch(inside.begin(), inside.end(), leads.begin(), leads.end());
    if (!unresolved && stop == inside.end() && fs::is_directory(leads, ignored)) return;
    found = FolderLink{link.string(), fs::read_symlink(link, ignored).string()};
  });
  return found;
}

void RecoverInterruptedRun(const std::string& destination) {
  std::vector<std::string> folders;  // the image and attachment folders, mended after the walk
  ListFolder(destination, [&](std::string_view name, FolderEntryType type) {
    if (RemoveLeftover(destination, name, type, false)) return;
    if (const std::optional<KeptFile> kept = ParseKeptName(name)) {
      if (!kept->owner || !StillRunning(*kept->owner)) {
        std::error_code ignored;
        fs::rename(destination + "/" + std::string(name), destination + "/" + kept->name, ignored);
      }
    } else if (type == FolderEntryType::kFolder &&
               (IsImageFolderName(name) || IsAttachmentFolderName(name))) {
      folders.emplace_back(name);
    }
  });
  for (const std::string& name : folders) {
    const std::string folder = destination + "/" + name;
    const bool scratch = IsImageFolderName(name);
    ListFolder(folder, [&](std::string_view entry, FolderEntryType type) {
      RemoveLeftover(folder, entry, type, scratch);
    });
  }
}

}  // namespace lorva
