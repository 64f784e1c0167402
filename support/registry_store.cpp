#include "support/registry_store.h"

#include <limits>
#include <vector>

#include "base/error.h"
#include "base/text_rules.h"

namespace lorva {
namespace {

using platform::HKEY;
using platform::LSTATUS;
namespace regerr = platform::regerr;

// Common start of both operations: the checks, then the key path.
std::string KeyPath(const std::string& section, const std::string& name) {
  const std::string trimmedSection = TrimBlanks(section);
  if (trimmedSection.empty()) {
    throw Error(registry_error::kEmptySection, "Section may not be empty");
  }
  if (TrimBlanks(name).empty()) throw Error(registry_error::kEmptyKey, "Key may not be empty");
  return "Software\\Tessaly\\" + TrimBlanks(kRegistryApplication) + "\\" + trimmedSection;
}

// An opened key, closed when the operation leaves by any path; errors of the closing are
// ignored.
class OpenedKey {
 public:
  explicit OpenedKey(platform::RegistryHive& hive) : hive_(hive) {}
  ~OpenedKey() {
    if (open_) hive_.RegCloseKey(key_);
  }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;

  HKEY* Receive() { return &key_; }
  void MarkOpen() { open_ = true; }
  HKEY get() const { return key_; }

 private:
  platform::RegistryHive& hive_;
  HKEY key_ = 0;
  bool open_ = false;
};

// base + 2000 + code, computed without overflow for any code.
Error SystemError(std::uint32_t code, const char* description) {
  return Error(
      static_cast<std::int32_t>(static_cast<std::uint32_t>(registry_error::kSystem) + code),
      description);
}

}  // namespace

void subSaveSetting(platform::RegistryHive& hive, const std::string& section,
                    const std::string& name, const std::string& text) {
  const std::string path = KeyPath(section, name);
  OpenedKey key(hive);
  const LSTATUS opened =
      hive.RegCreateKeyEx(platform::kHkeyCurrentUser, path, platform::kRegOptionNonVolatile,
                          platform::regaccess::kAllAccess, key.Receive(), nullptr);
  if (opened != regerr::kSuccess) {
    throw SystemError(static_cast<std::uint32_t>(opened), "Could not open/create registry section");
  }
  key.MarkOpen();
  // The text's bytes and its terminating zero (a std::string always has one after its end).
  if (text.size() >= std::numeric_limits<std::uint32_t>::max()) {
    throw SystemError(regerr::kInvalidParameter, "Could not set key value");
  }
  const LSTATUS set = hive.RegSetValueEx(key.get(), name, platform::regtype::kSz,
                                         reinterpret_cast<const std::uint8_t*>(text.c_str()),
                                         static_cast<std::uint32_t>(text.size() + 1));
  if (set != regerr::kSuccess)
    throw SystemError(static_cast<std::uint32_t>(set), "Could not set key value");
}

std::string fncGetSetting(platform::RegistryHive& hive, const std::string& section,
                          const std::string& name, const std::string& defaultText) {
  const std::string path = KeyPath(section, name);
  OpenedKey key(hive);
  const LSTATUS opened = hive.RegOpenKeyEx(platform::kHkeyCurrentUser, path, 0,
                                           platform::regaccess::kRead, key.Receive());
  if (opened == regerr::kFileNotFound) return defaultText;
  if (opened != regerr::kSuccess)
    throw SystemError(static_cast<std::uint32_t>(opened), "Could not open registry section");
  key.MarkOpen();

  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (hive.RegQueryValueEx(key.get(), name, &type, nullptr, &size) != regerr::kSuccess) {
    return defaultText;
  }
  if (type != platform::regtype::kSz) {
    throw SystemError(type, "Registry data not a string");
  }
  if (size == 0) return "";
  std::vector<std::uint8_t> buffer(size, 0);
  std::uint32_t returned = size;
  if (hive.RegQueryValueEx(key.get(), name, &type, buffer.data(), &returned) != regerr::kSuccess) {
    return defaultText;
  }
  // The returned data without its terminating zero.
  if (returned > 0 && buffer[returned - 1] == 0) --returned;
  return std::string(reinterpret_cast<const char*>(buffer.data()), returned);
}

}  // namespace lorva
