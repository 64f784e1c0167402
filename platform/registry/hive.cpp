#include "platform/registry/hive.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "base/files.h"

namespace lorva::platform {
namespace {

bool IsPredefined(HKEY key) {
  return (key & 0x80000000u) != 0;
}

// Key names: UTF-8 without control characters; the path has no empty element.
LSTATUS SplitKeyPath(std::string_view subKey, std::vector<std::string>& names) {
  if (subKey.empty()) return regerr::kSuccess;
  if (!IsValidUtf8(subKey)) return regerr::kBadPathname;
  while (true) {
    const size_t slash = subKey.find('\\');
    const std::string_view name = subKey.substr(0, slash);
    if (name.empty()) return regerr::kBadPathname;
    for (char c : name) {
      if (static_cast<unsigned char>(c) < 0x20) return regerr::kBadPathname;
    }
    names.emplace_back(name);
    if (slash == std::string_view::npos) return regerr::kSuccess;
    subKey.remove_prefix(slash + 1);
  }
}

// Value names: UTF-8 without zero bytes or line breaks (they could not be written to the file).
bool IsValidValueName(std::string_view name) {
  return IsValidUtf8(name) && name.find_first_of(std::string_view("\0\r\n", 3)) == name.npos;
}

LSTATUS StatusFromErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
      return regerr::kAccessDenied;
    case ENOSPC:
    case EDQUOT:
      return regerr::kDiskFull;
    default:
      return regerr::kRegistryIoFailed;
  }
}

// Closes a descriptor when it goes out of scope (which also releases a flock held on it).
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

std::string Quoted(const std::string& path) {
  return "\"" + path + "\"";
}

}  // namespace

// ---- TreeRegistryHive ----

LSTATUS TreeRegistryHive::Resolve(HKEY parent, std::string_view subKey,
                                  std::vector<std::string>& path) const {
  if (parent == kHkeyCurrentUser) {
    path.clear();
  } else if (IsPredefined(parent)) {
    return regerr::kInvalidHandle;  // only the current user's hive is here
  } else {
    const auto open = handles_.find(parent);
    if (open == handles_.end()) return regerr::kInvalidHandle;
    path = open->second.path;
  }
  return SplitKeyPath(subKey, path);
}

HKEY TreeRegistryHive::NewHandle(std::vector<std::string> path, std::uint32_t access) {
  const HKEY handle = nextHandle_++;
  handles_.emplace(handle, OpenKey{std::move(path), access});
  return handle;
}

LSTATUS TreeRegistryHive::RegCreateKeyEx(HKEY parent, std::string_view subKey,
                                         std::uint32_t options, std::uint32_t access, HKEY* result,
                                         std::uint32_t* disposition) {
  if (result == nullptr || options != kRegOptionNonVolatile) return regerr::kInvalidParameter;
  std::vector<std::string> path;
  if (LSTATUS status = Resolve(parent, subKey, path); status != regerr::kSuccess) return status;
  bool created = false;
  if (Current().Find(path) == nullptr) {
    const LSTATUS status = Apply([&](RegKey& root, bool& changed) {
      root.FindOrCreate(path, created);
      changed = created;
      return regerr::kSuccess;
    });
    if (status != regerr::kSuccess) return status;
  }
  if (disposition != nullptr) *disposition = created ? kRegCreatedNewKey : kRegOpenedExistingKey;
  *result = NewHandle(std::move(path), access);
  return regerr::kSuccess;
}

LSTATUS TreeRegistryHive::RegOpenKeyEx(HKEY parent, std::string_view subKey,
                                       std::uint32_t /*options*/, std::uint32_t access,
                                       HKEY* result) {
  if (result == nullptr) return regerr::kInvalidParameter;
  std::vector<std::string> path;
  if (LSTATUS status = Resolve(parent, subKey, path); status != regerr::kSuccess) return status;
  if (Current().Find(path) == nullptr) return regerr::kFileNotFound;
  *result = NewHandle(std::move(path), access);
  return regerr::kSuccess;
}

LSTATUS TreeRegistryHive::RegSetValueEx(HKEY key, std::string_view valueName, std::uint32_t type,
                                        const std::uint8_t* data, std::uint32_t size) {
  std::vector<std::string> path;
  if (LSTATUS status = Resolve(key, "", path); status != regerr::kSuccess) return status;
  if (key != kHkeyCurrentUser && (handles_.at(key).access & regaccess::kSetValue) == 0) {
    return regerr::kAccessDenied;
  }
  if (!IsValidValueName(valueName) || (data == nullptr && size != 0)) {
    return regerr::kInvalidParameter;
  }
  std::string bytes(reinterpret_cast<const char*>(data), data == nullptr ? 0 : size);
  if ((type == regtype::kSz || type == regtype::kExpandSz) &&
      (bytes.empty() || bytes.back() != '\0')) {
    bytes.push_back('\0');
  }
  return Apply([&](RegKey& root, bool& changed) {
    RegKey* target = root.Find(path);
    if (target == nullptr) return regerr::kKeyDeleted;
    const RegValue* old = target->FindValue(valueName);
    changed = old == nullptr || old->type != type || old->data != bytes;
    if (changed) target->SetValue(valueName, type, bytes);
    return regerr::kSuccess;
  });
}

LSTATUS TreeRegistryHive::RegQueryValueEx(HKEY key, std::string_view valueName, std::uint32_t* type,
                                          std::uint8_t* data, std::uint32_t* size) {
  std::vector<std::string> path;
  if (LSTATUS status = Resolve(key, "", path); status != regerr::kSuccess) return status;
  if (key != kHkeyCurrentUser && (handles_.at(key).access & regaccess::kQueryValue) == 0) {
    return regerr::kAccessDenied;
  }
  if (data != nullptr && size == nullptr) return regerr::kInvalidParameter;
  const RegKey root = Current();
  const RegKey* found = root.Find(path);
  if (found == nullptr) return regerr::kKeyDeleted;
  const RegValue* value = found->FindValue(valueName);
  if (value == nullptr) return regerr::kFileNotFound;
  if (type != nullptr) *type = value->type;
  const auto needed = static_cast<std::uint32_t>(value->data.size());
  if (data != nullptr) {
    if (*size < needed) {
      *size = needed;
      return regerr::kMoreData;
    }
    std::memcpy(data, value->data.data(), needed);
  }
  if (size != nullptr) *size = needed;
  return regerr::kSuccess;
}

LSTATUS TreeRegistryHive::RegCloseKey(HKEY key) {
  if (IsPredefined(key)) return regerr::kSuccess;
  return handles_.erase(key) == 1 ? regerr::kSuccess : regerr::kInvalidHandle;
}

// ---- MemoryRegistryHive ----

MemoryRegistryHive::MemoryRegistryHive() {
  root_.name = std::string(kCurrentUserRoot);
}

LSTATUS MemoryRegistryHive::Apply(const Change& change) {
  bool changed = false;
  return change(root_, changed);
}

// ---- FileRegistryHive ----

FileRegistryHive::FileRegistryHive(std::string path) : path_(std::move(path)) {}

FileRegistryHive::Loaded FileRegistryHive::Load() const {
  Loaded loaded;
  loaded.root.name = std::string(kCurrentUserRoot);
  FileBytes bytes;
  if (const std::error_code code = ReadWholeFile(path_, bytes)) {
    if (code == std::errc::no_such_file_or_directory) return loaded;  // no settings yet
    loaded.status = StatusFromErrno(code.value());
    loaded.problem = "The settings file " + Quoted(path_) + " cannot be read (" +
                     std::strerror(code.value()) + ").";
    return loaded;
  }
  RegParseResult parsed = ParseRegFile(bytes.view());
  if (!parsed.root) {
    loaded.status = regerr::kRegistryCorrupt;
    loaded.problem = "The settings file " + Quoted(path_) + " is damaged (" + parsed.problem + ").";
    return loaded;
  }
  loaded.root = std::move(*parsed.root);
  return loaded;
}

std::string FileRegistryHive::Problem() {
  const Loaded loaded = Load();
  if (loaded.status == regerr::kSuccess) return "";
  return loaded.problem +
         " It is left as it is: the options start from their defaults and changes to them are "
         "not saved until the file is repaired or removed.";
}

RegKey FileRegistryHive::Current() {
  Loaded loaded = Load();
  if (loaded.status != regerr::kSuccess) {
    RegKey empty;
    empty.name = std::string(kCurrentUserRoot);
    return empty;
  }
  return std::move(loaded.root);
}

LSTATUS FileRegistryHive::Apply(const Change& change) {
  lastFailure_.clear();
  const std::filesystem::path folder = std::filesystem::path(path_).parent_path();
  std::error_code ec;
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  if (ec) {
    lastFailure_ = "The folder of the settings file " + Quoted(path_) + " cannot be made (" +
                   ec.message() + ").";
    return StatusFromErrno(ec.value());
  }
  const std::string lockPath = path_ + ".lock";
  FileDescriptor lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  int locked = -1;
  if (lock.get() >= 0) {
    do {
      locked = ::flock(lock.get(), LOCK_EX);
    } while (locked != 0 && errno == EINTR);
  }
  if (locked != 0) {
    const int error = errno;
    lastFailure_ = "The settings file " + Quoted(path_) + " cannot be locked through " +
                   Quoted(lockPath) + " (" + std::strerror(error) + ").";
    return StatusFromErrno(error);
  }
  // Under the lock: the file as it stands now, so that another copy's changes are kept.
  Loaded loaded = Load();
  if (loaded.status != regerr::kSuccess) {
    lastFailure_ = loaded.problem + " It is left unchanged.";
    return loaded.status;
  }
  bool changed = false;
  const LSTATUS status = change(loaded.root, changed);
  if (status != regerr::kSuccess || !changed) return status;
  return WriteAtomically(SerializeRegFile(loaded.root));
}

LSTATUS FileRegistryHive::WriteAtomically(const std::string& bytes) {
  auto fail = [&](int error) {
    lastFailure_ = "The settings file " + Quoted(path_) + " cannot be written (" +
                   std::strerror(error) + "); it is unchanged.";
    return StatusFromErrno(error);
  };
  ReplacingFile file(path_);
  if (const std::error_code code = file.Open(0600)) return fail(code.value());
  if (!WriteAll(file.fd(), bytes) || !SyncFile(file.fd())) return fail(errno);
  if (const std::error_code code = file.Commit(/*durable=*/true)) return fail(code.value());
  return regerr::kSuccess;
}

bool FileRegistryHive::WriteAll(int fd, std::string_view bytes) {
  if (const std::error_code code = lorva::WriteAll(fd, bytes)) {
    errno = code.value();
    return false;
  }
  return true;
}

bool FileRegistryHive::SyncFile(int fd) {
  return ::fsync(fd) == 0;
}

std::string DefaultHivePath() {
  std::string config;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    config = xdg;
  } else {
    const char* home = std::getenv("HOME");
    std::string homeDir = home != nullptr ? home : "";
    if (homeDir.empty()) {
      if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir) {
        homeDir = entry->pw_dir;
      }
    }
    config = homeDir + "/.config";
  }
  return config + "/lorva-archive/registry.reg";
}

std::unique_ptr<RegistryHive> OpenUserHive() {
  return std::make_unique<FileRegistryHive>(DefaultHivePath());
}

}  // namespace lorva::platform
