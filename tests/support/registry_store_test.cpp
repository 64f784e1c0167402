#include "support/registry_store.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "base/error.h"
#include "support_code/temp_folder.h"

namespace lorva {
namespace {

using platform::HKEY;
using platform::kHkeyCurrentUser;
using platform::LSTATUS;
using testing::TempFolder;
namespace regerr = platform::regerr;

constexpr const char* kSettingsKey = "Software\\Tessaly\\Outlook Lorva\\Settings";

// A hive in memory whose calls can be made to fail.
struct ScriptedHive : platform::MemoryRegistryHive {
  LSTATUS createResult = regerr::kSuccess, openResult = regerr::kSuccess,
          setResult = regerr::kSuccess;

  LSTATUS RegCreateKeyEx(HKEY parent, std::string_view subKey, std::uint32_t options,
                         std::uint32_t access, HKEY* result, std::uint32_t* disposition) override {
    return createResult ? createResult
                        : MemoryRegistryHive::RegCreateKeyEx(parent, subKey, options, access,
                                                             result, disposition);
  }
  LSTATUS RegOpenKeyEx(HKEY parent, std::string_view subKey, std::uint32_t options,
                       std::uint32_t access, HKEY* result) override {
    return openResult ? openResult
                      : MemoryRegistryHive::RegOpenKeyEx(parent, subKey, options, access, result);
  }
  LSTATUS RegSetValueEx(HKEY key, std::string_view valueName, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) override {
    return setResult ? setResult
                     : MemoryRegistryHive::RegSetValueEx(key, valueName, type, data, size);
  }
};

// The error `operation` raised, as "NUMBER (hex) DESCRIPTION"; "none" when it raised none.
std::string Raised(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const Error& error) {
    char number[16];
    std::snprintf(number, sizeof number, "%08X", static_cast<std::uint32_t>(error.number()));
    return std::string(number) + " " + error.description();
  }
  return "none";
}

TEST(RegistryStoreTest, TextComesBackUnchangedInMemoryAndThroughTheFile) {
  TempFolder folder;
  const std::string texts[] = {
      "  blanks before and after  ",
      "caf\xE9",  // bytes that are not UTF-8
      std::string("inner\0zero\0", 11),
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    ScriptedHive memory;
    subSaveSetting(memory, "Settings", "Value", text);
    EXPECT_EQ(fncGetSetting(memory, "Settings", "Value", "default"), text);
    EXPECT_EQ(memory.OpenKeyCount(), 0u);
    {
      platform::FileRegistryHive writer(folder / "registry.reg");
      subSaveSetting(writer, "Settings", "V", text);
    }
    platform::FileRegistryHive file(folder / "registry.reg");
    EXPECT_EQ(fncGetSetting(file, "Settings", "V", "default"), text);
  }
}

TEST(RegistryStoreTest, FailuresRaiseTheirNumbersAndLeaveNoKeyOpen) {
  const struct {
    const char* what;
    std::function<void(ScriptedHive&)> prepare;
    std::function<void(ScriptedHive&)> call;
    std::string raised;
  } cases[] = {
      {"blank section", nullptr, [](auto& h) { subSaveSetting(h, "  ", "a", "x"); },
       "800403E9 Section may not be empty"},
      {"blank name", nullptr, [](auto& h) { fncGetSetting(h, "Settings", "  ", "x"); },
       "800403EA Key may not be empty"},
      {"a DWORD",
       [](auto& h) {
         HKEY key = 0;  // as another program might store it
         h.RegCreateKeyEx(kHkeyCurrentUser, kSettingsKey, 0, platform::regaccess::kAllAccess, &key,
                          nullptr);
         h.RegSetValueEx(key, "a", platform::regtype::kDword,
                         reinterpret_cast<const std::uint8_t*>("\xe8\x03\0\0"), 4);
         h.RegCloseKey(key);
       },
       [](auto& h) { fncGetSetting(h, "Settings", "a", "x"); },
       "800407D4 Registry data not a string"},
      {"create refused", [](auto& h) { h.createResult = regerr::kAccessDenied; },
       [](auto& h) { subSaveSetting(h, "Settings", "a", "b"); },
       "800407D5 Could not open/create registry section"},
      {"set refused", [](auto& h) { h.setResult = regerr::kRegistryCorrupt; },
       [](auto& h) { subSaveSetting(h, "Settings", "a", "b"); },
       "80040BC7 Could not set key value"},
      {"open refused", [](auto& h) { h.openResult = regerr::kAccessDenied; },
       [](auto& h) { fncGetSetting(h, "Settings", "a", "b"); },
       "800407D5 Could not open registry section"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedHive hive;
    if (c.prepare) c.prepare(hive);
    EXPECT_EQ(Raised([&] { c.call(hive); }), c.raised);
    EXPECT_EQ(hive.OpenKeyCount(), 0u);
  }
}

}  // namespace
}  // namespace lorva
