#include "support/registry_store.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "base/error.h"
#include "registry/temp_folder.h"

namespace lorva {
namespace {

using platform::HKEY;
using platform::kHkeyCurrentUser;
using platform::LSTATUS;
namespace regerr = platform::regerr;

constexpr const char* kSettingsKey = "Software\\Tessaly\\Outlook Lorva\\Settings";

// A hive in memory whose calls can be made to fail, and which tells what was asked of it.
class ScriptedHive : public platform::MemoryRegistryHive {
 public:
  LSTATUS createResult = regerr::kSuccess;
  LSTATUS openResult = regerr::kSuccess;
  LSTATUS setResult = regerr::kSuccess;
  int failQueryNumber = 0;  // the query (1, 2, ...) that fails with kMoreData
  int queries = 0;
  std::string lastPath;

  LSTATUS RegCreateKeyEx(HKEY parent, std::string_view subKey, std::uint32_t options,
                         std::uint32_t access, HKEY* result, std::uint32_t* disposition) override {
    lastPath = subKey;
    if (createResult != regerr::kSuccess) return createResult;
    return MemoryRegistryHive::RegCreateKeyEx(parent, subKey, options, access, result, disposition);
  }
  LSTATUS RegOpenKeyEx(HKEY parent, std::string_view subKey, std::uint32_t options,
                       std::uint32_t access, HKEY* result) override {
    lastPath = subKey;
    if (openResult != regerr::kSuccess) return openResult;
    return MemoryRegistryHive::RegOpenKeyEx(parent, subKey, options, access, result);
  }
  LSTATUS RegSetValueEx(HKEY key, std::string_view valueName, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) override {
    if (setResult != regerr::kSuccess) return setResult;
    return MemoryRegistryHive::RegSetValueEx(key, valueName, type, data, size);
  }
  LSTATUS RegQueryValueEx(HKEY key, std::string_view valueName, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* size) override {
    if (++queries == failQueryNumber) return regerr::kMoreData;
    return MemoryRegistryHive::RegQueryValueEx(key, valueName, type, data, size);
  }

  // Stores a value of any type under the settings key, as another program might.
  void Put(const std::string& name, std::uint32_t type, const std::string& data) {
    HKEY key = 0;
    ASSERT_EQ(MemoryRegistryHive::RegCreateKeyEx(kHkeyCurrentUser, kSettingsKey, 0,
                                                 platform::regaccess::kAllAccess, &key, nullptr),
              regerr::kSuccess);
    ASSERT_EQ(MemoryRegistryHive::RegSetValueEx(key, name, type,
                                                reinterpret_cast<const std::uint8_t*>(data.data()),
                                                static_cast<std::uint32_t>(data.size())),
              regerr::kSuccess);
    MemoryRegistryHive::RegCloseKey(key);
  }
};

// Runs `operation` and returns the error it raised (number 0 when none).
Error Raised(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const Error& error) {
    return error;
  }
  return Error(0, "");
}

void ExpectError(const Error& error, std::int32_t number, const std::string& description) {
  EXPECT_EQ(static_cast<std::uint32_t>(error.number()), static_cast<std::uint32_t>(number))
      << std::hex << static_cast<std::uint32_t>(error.number());
  EXPECT_EQ(error.description(), description);
}

TEST(RegistryStoreTest, AFreshProfileGivesTheDefaultsAndCreatesNothing) {
  lorva::testing::TempFolder folder;
  const std::string path = (folder.path() / "lorva-archive" / "registry.reg").string();
  platform::FileRegistryHive hive(path);
  EXPECT_EQ(fncGetSetting(hive, "Settings", "iNumbering", "1000"), "1000");
  EXPECT_EQ(fncGetSetting(hive, "Settings", "DestinationFolder", ""), "");
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
  EXPECT_EQ(hive.OpenKeyCount(), 0u);
}

TEST(RegistryStoreTest, TextComesBackUnchanged) {
  ScriptedHive hive;
  const std::string texts[] = {
      "",
      "1000",
      "  blanks before and after  ",
      "C:\\KB \"quoted\"",
      "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\x9A",  // beyond any single-byte code page
      "caf\xE9",                                    // bytes that are not UTF-8
      "two\nlines",
      std::string("inner\0zero\0", 11),
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    subSaveSetting(hive, "Settings", "Value", text);
    EXPECT_EQ(fncGetSetting(hive, "Settings", "Value", "default"), text);
  }
  EXPECT_EQ(hive.OpenKeyCount(), 0u);
}

TEST(RegistryStoreTest, TextComesBackUnchangedThroughTheFile) {
  lorva::testing::TempFolder folder;
  const std::string path = (folder.path() / "registry.reg").string();
  const std::string text = " caf\xC3\xA9 \"C:\\KB\" ";
  {
    platform::FileRegistryHive hive(path);
    subSaveSetting(hive, "Settings", "DestinationFolder", text);
  }
  platform::FileRegistryHive hive(path);
  EXPECT_EQ(fncGetSetting(hive, "Settings", "DestinationFolder", ""), text);
  EXPECT_NE(lorva::testing::ReadBytes(path).find(
                "[HKEY_CURRENT_USER\\Software\\Tessaly\\Outlook Lorva\\Settings]\n"
                "\"DestinationFolder\"=\" caf\xC3\xA9 \\\"C:\\\\KB\\\" \"\n"),
            std::string::npos);
}

TEST(RegistryStoreTest, AnEmptyValueIsNotTheDefault) {
  ScriptedHive hive;
  subSaveSetting(hive, "Settings", "DestinationFolder", "");
  EXPECT_EQ(fncGetSetting(hive, "Settings", "DestinationFolder", "default"), "");

  // Also when the value holds no bytes at all, or lacks its terminating zero.
  lorva::testing::TempFolder folder;
  const std::string path = (folder.path() / "registry.reg").string();
  lorva::testing::WriteBytes(path,
                             "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_CURRENT_USER\\Software\\Tessaly\\Outlook Lorva\\Settings]\n"
                             "\"Nothing\"=hex(1):\n"
                             "\"Unended\"=hex(1):31,32\n");
  platform::FileRegistryHive file(path);
  EXPECT_EQ(fncGetSetting(file, "Settings", "Nothing", "default"), "");
  EXPECT_EQ(fncGetSetting(file, "Settings", "Unended", "default"), "12");
}

TEST(RegistryStoreTest, SectionBlanksAreDroppedButValueNamesAreKept) {
  ScriptedHive hive;
  subSaveSetting(hive, " Settings ", "iNumbering", "2000");
  EXPECT_EQ(hive.lastPath, kSettingsKey);
  EXPECT_EQ(fncGetSetting(hive, "Settings", "iNumbering", "1000"), "2000");
  EXPECT_EQ(fncGetSetting(hive, "Settings", " iNumbering", "1000"), "1000");
  subSaveSetting(hive, "Settings", " iNumbering", "3000");
  EXPECT_EQ(fncGetSetting(hive, "  Settings", "iNumbering", "1000"), "2000");
  EXPECT_EQ(fncGetSetting(hive, "Settings", " iNumbering", "1000"), "3000");
}

TEST(RegistryStoreTest, BlankNamesAreRefused) {
  ScriptedHive hive;
  struct Case {
    std::string section;
    std::string name;
    std::int32_t number;
    std::string description;
  };
  const Case cases[] = {
      {"   ", "iNumbering", static_cast<std::int32_t>(0x800403E9u), "Section may not be empty"},
      {"", "iNumbering", static_cast<std::int32_t>(0x800403E9u), "Section may not be empty"},
      {"   ", "  ", static_cast<std::int32_t>(0x800403E9u), "Section may not be empty"},
      {"Settings", "  ", static_cast<std::int32_t>(0x800403EAu), "Key may not be empty"},
      {"Settings", "", static_cast<std::int32_t>(0x800403EAu), "Key may not be empty"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("section \"" + c.section + "\", name \"" + c.name + "\"");
    ExpectError(Raised([&] { subSaveSetting(hive, c.section, c.name, "x"); }), c.number,
                c.description);
    ExpectError(Raised([&] { fncGetSetting(hive, c.section, c.name, "x"); }), c.number,
                c.description);
  }
  EXPECT_EQ(hive.Root().subkeys.size(), 0u);
}

TEST(RegistryStoreTest, ADwordUnderAUsedNameIsNotAString) {
  ScriptedHive hive;
  hive.Put("iNumbering", platform::regtype::kDword, std::string("\xe8\x03\0\0", 4));
  ExpectError(Raised([&] { fncGetSetting(hive, "Settings", "iNumbering", "1000"); }),
              static_cast<std::int32_t>(0x800407D4u), "Registry data not a string");
  hive.Put("Blob", platform::regtype::kBinary, "abc");
  ExpectError(Raised([&] { fncGetSetting(hive, "Settings", "Blob", ""); }),
              static_cast<std::int32_t>(0x800407D3u), "Registry data not a string");
  EXPECT_EQ(hive.OpenKeyCount(), 0u);
}

TEST(RegistryStoreTest, HiveFailuresRaiseTheirCodesAndCloseTheKey) {
  {
    ScriptedHive hive;
    hive.createResult = regerr::kAccessDenied;
    ExpectError(Raised([&] { subSaveSetting(hive, "Settings", "a", "b"); }),
                static_cast<std::int32_t>(0x800407D5u), "Could not open/create registry section");
  }
  {
    ScriptedHive hive;
    hive.setResult = regerr::kRegistryCorrupt;
    ExpectError(Raised([&] { subSaveSetting(hive, "Settings", "a", "b"); }),
                static_cast<std::int32_t>(0x800407D0u + 1015), "Could not set key value");
    EXPECT_EQ(hive.OpenKeyCount(), 0u);
  }
  {
    ScriptedHive hive;
    hive.openResult = regerr::kAccessDenied;
    ExpectError(Raised([&] { fncGetSetting(hive, "Settings", "a", "b"); }),
                static_cast<std::int32_t>(0x800407D5u), "Could not open registry section");
  }
  {
    ScriptedHive hive;
    hive.openResult = regerr::kFileNotFound;
    EXPECT_EQ(fncGetSetting(hive, "Settings", "a", "default"), "default");
  }
}

TEST(RegistryStoreTest, AFailingQueryGivesTheDefault) {
  for (int failing : {1, 2}) {
    SCOPED_TRACE("query " + std::to_string(failing) + " fails");
    ScriptedHive hive;
    subSaveSetting(hive, "Settings", "iNumbering", "2000");
    hive.failQueryNumber = failing;
    EXPECT_EQ(fncGetSetting(hive, "Settings", "iNumbering", "1000"), "1000");
    EXPECT_EQ(hive.OpenKeyCount(), 0u);
  }
}

TEST(RegistryStoreTest, AnUnparsableHiveFileKeepsItsBytesAndFailsTheSave) {
  lorva::testing::TempFolder folder;
  const std::string path = (folder.path() / "registry.reg").string();
  const std::string damaged = "not a registry file\n";
  lorva::testing::WriteBytes(path, damaged);
  platform::FileRegistryHive hive(path);
  EXPECT_EQ(fncGetSetting(hive, "Settings", "iNumbering", "1000"), "1000");
  ExpectError(Raised([&] { subSaveSetting(hive, "Settings", "iNumbering", "2000"); }),
              static_cast<std::int32_t>(0x800407D0u + 1015),
              "Could not open/create registry section");
  EXPECT_NE(hive.LastFailure().find(path), std::string::npos);
  EXPECT_EQ(lorva::testing::ReadBytes(path), damaged);
}

}  // namespace
}  // namespace lorva
