// The current user's registry hive, answering as the Win32 registry calls do: result codes
// (0 success, 2 not found, 5 access denied, 234 more data, ...), typed values, REG_SZ data with
// its terminating zero. Only HKEY_CURRENT_USER exists.
//
// RegistryHive is the interface the settings store uses; TreeRegistryHive does the calls over a
// tree of keys; MemoryRegistryHive keeps that tree in memory (for tests) and FileRegistryHive
// keeps it in one file of the ".reg" export syntax (platform/registry/reg_file.h):
// $XDG_CONFIG_HOME/lorva-archive/registry.reg, default ~/.config/lorva-archive/registry.reg.
//
// A hive object is used by one thread at a time. Several hive objects, in one process or in
// several, may share one file: each change is made under a lock on the file's companion
// "registry.reg.lock", on the file as it stands at that moment, so none loses another's values.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/reg_file.h"

namespace lorva::platform {

using HKEY = std::uint32_t;
using LSTATUS = std::int32_t;

inline constexpr HKEY kHkeyCurrentUser = 0x80000001u;

// Result codes (Win32 system error codes).
namespace regerr {
inline constexpr LSTATUS kSuccess = 0;
inline constexpr LSTATUS kFileNotFound = 2;
inline constexpr LSTATUS kAccessDenied = 5;
inline constexpr LSTATUS kInvalidHandle = 6;
inline constexpr LSTATUS kInvalidParameter = 87;
inline constexpr LSTATUS kDiskFull = 112;
inline constexpr LSTATUS kBadPathname = 161;
inline constexpr LSTATUS kMoreData = 234;
inline constexpr LSTATUS kRegistryCorrupt = 1015;  // the hive file cannot be parsed
inline constexpr LSTATUS kRegistryIoFailed = 1016;
inline constexpr LSTATUS kKeyDeleted = 1018;
}  // namespace regerr

// Value types.
namespace regtype {
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kSz = 1;
inline constexpr std::uint32_t kExpandSz = 2;
inline constexpr std::uint32_t kBinary = 3;
inline constexpr std::uint32_t kDword = 4;
inline constexpr std::uint32_t kMultiSz = 7;
inline constexpr std::uint32_t kQword = 11;
}  // namespace regtype

// Access rights and options.
namespace regaccess {
inline constexpr std::uint32_t kQueryValue = 0x0001;
inline constexpr std::uint32_t kSetValue = 0x0002;
inline constexpr std::uint32_t kCreateSubKey = 0x0004;
inline constexpr std::uint32_t kRead = 0x20019;
inline constexpr std::uint32_t kWrite = 0x20006;
inline constexpr std::uint32_t kAllAccess = 0xF003F;
}  // namespace regaccess
inline constexpr std::uint32_t kRegOptionNonVolatile = 0;
inline constexpr std::uint32_t kRegCreatedNewKey = 1;
inline constexpr std::uint32_t kRegOpenedExistingKey = 2;

class RegistryHive {
 public:
  virtual ~RegistryHive() = default;

  // Opens the key `subKey` ("A\B\C", below `parent`: kHkeyCurrentUser or an open key), creating
  // it and the keys on the way when missing. `options` must be kRegOptionNonVolatile.
  // `disposition` (may be null) receives kRegCreatedNewKey or kRegOpenedExistingKey.
  virtual LSTATUS RegCreateKeyEx(HKEY parent, std::string_view subKey, std::uint32_t options,
                                 std::uint32_t access, HKEY* result,
                                 std::uint32_t* disposition) = 0;
  // Opens an existing key; kFileNotFound when it does not exist.
  virtual LSTATUS RegOpenKeyEx(HKEY parent, std::string_view subKey, std::uint32_t options,
                               std::uint32_t access, HKEY* result) = 0;
  // Sets `valueName` ("" the default value) to `size` bytes at `data`. REG_SZ and REG_EXPAND_SZ
  // data are completed by a terminating zero when they do not end in one. Needs
  // regaccess::kSetValue on the key.
  virtual LSTATUS RegSetValueEx(HKEY key, std::string_view valueName, std::uint32_t type,
                                const std::uint8_t* data, std::uint32_t size) = 0;
  // Reads a value. `type` and `size` may be null. Without `data`, `*size` receives the data's
  // size. With `data`, `*size` is the buffer's size on entry; when it is too small the result is
  // kMoreData and `*size` the size needed. kFileNotFound when the value does not exist.
  virtual LSTATUS RegQueryValueEx(HKEY key, std::string_view valueName, std::uint32_t* type,
                                  std::uint8_t* data, std::uint32_t* size) = 0;
  virtual LSTATUS RegCloseKey(HKEY key) = 0;

  // What the user should hear of once at start-up about the hive's storage (a settings file that
  // cannot be read and is therefore left alone), or "" when all is well.
  virtual std::string Problem() { return ""; }
  // A sentence describing the last failed change (naming the file when a file is involved), or
  // "" when the last change succeeded.
  virtual std::string LastFailure() const { return ""; }
};

// The five calls over a tree of keys. Derived classes say where the tree comes from and how a
// change is kept.
class TreeRegistryHive : public RegistryHive {
 public:
  LSTATUS RegCreateKeyEx(HKEY parent, std::string_view subKey, std::uint32_t options,
                         std::uint32_t access, HKEY* result, std::uint32_t* disposition) override;
  LSTATUS RegOpenKeyEx(HKEY parent, std::string_view subKey, std::uint32_t options,
                       std::uint32_t access, HKEY* result) override;
  LSTATUS RegSetValueEx(HKEY key, std::string_view valueName, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) override;
  LSTATUS RegQueryValueEx(HKEY key, std::string_view valueName, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* size) override;
  LSTATUS RegCloseKey(HKEY key) override;

  // How many keys are open (tests check that every opened key is closed).
  size_t OpenKeyCount() const { return handles_.size(); }

 protected:
  // A change to the tree: returns a result code, and sets `changed` when it altered the tree.
  using Change = std::function<LSTATUS(RegKey& root, bool& changed)>;

  // The tree as it stands now, for reading; an empty root when there is none.
  virtual RegKey Current() = 0;
  // Applies `change` to the tree as it stands now and keeps the result when it changed it.
  // Returns the change's result, or a failure code when the tree could not be read or kept.
  virtual LSTATUS Apply(const Change& change) = 0;

 private:
  struct OpenKey {
    std::vector<std::string> path;
    std::uint32_t access = 0;
  };

  LSTATUS Resolve(HKEY parent, std::string_view subKey, std::vector<std::string>& path) const;
  HKEY NewHandle(std::vector<std::string> path, std::uint32_t access);

  std::map<HKEY, OpenKey> handles_;
  HKEY nextHandle_ = 0x100;
};

// A hive kept in memory only.
class MemoryRegistryHive : public TreeRegistryHive {
 public:
  MemoryRegistryHive();
  const RegKey& Root() const { return root_; }

 protected:
  RegKey Current() override { return root_; }
  LSTATUS Apply(const Change& change) override;

 private:
  RegKey root_;
};

// A hive kept in one ".reg" file.
//
// Reading never creates anything. A change locks "<path>.lock" (flock), reads the file afresh,
// applies the change and, when something changed, writes the whole file to a temporary file in
// the same folder, flushes it to disk (fsync) and renames it over the old file, then unlocks: a
// reader sees the old file or the new one, never a part.
//
// A file that cannot be read or parsed is never overwritten: reading treats it as empty (every
// key "not found", so callers fall back to their defaults), changes fail with kRegistryCorrupt
// (or kAccessDenied / kRegistryIoFailed when it cannot be read), and Problem() and LastFailure()
// name the file and what is wrong with it.
class FileRegistryHive : public TreeRegistryHive {
 public:
  explicit FileRegistryHive(std::string path);

  const std::string& Path() const { return path_; }
  std::string Problem() override;
  std::string LastFailure() const override { return lastFailure_; }

 protected:
  RegKey Current() override;
  LSTATUS Apply(const Change& change) override;

  // Writes all of `bytes` to `fd`; false (errno set) on failure. Tests make it fail.
  virtual bool WriteAll(int fd, std::string_view bytes);
  // Flushes `fd` to disk; false (errno set) on failure.
  virtual bool SyncFile(int fd);

 private:
  struct Loaded {
    RegKey root;
    LSTATUS status = regerr::kSuccess;  // not kSuccess: the file cannot be used
    std::string problem;                // then: what is wrong, naming the file
  };

  Loaded Load() const;
  LSTATUS WriteAtomically(const std::string& bytes);

  std::string path_;
  std::string lastFailure_;
};

// Where the current user's hive file lives: $XDG_CONFIG_HOME/lorva-archive/registry.reg when
// XDG_CONFIG_HOME is an absolute path, otherwise $HOME/.config/lorva-archive/registry.reg.
std::string DefaultHivePath();

// The current user's hive (a FileRegistryHive on DefaultHivePath()).
std::unique_ptr<RegistryHive> OpenUserHive();

}  // namespace lorva::platform
