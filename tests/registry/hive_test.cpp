#include "platform/registry/hive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support_code/temp_folder.h"

namespace lorva::platform {
namespace {

using lorva::testing::TempFolder;

LSTATUS SetText(RegistryHive& hive, HKEY key, const std::string& name, const std::string& text) {
  return hive.RegSetValueEx(key, name, regtype::kSz,
                            reinterpret_cast<const std::uint8_t*>(text.data()),
                            static_cast<std::uint32_t>(text.size()));
}

// The value's data, or nothing when the query fails.
std::optional<std::string> Query(RegistryHive& hive, HKEY key, const std::string& name) {
  std::uint32_t size = 0;
  if (hive.RegQueryValueEx(key, name, nullptr, nullptr, &size) != regerr::kSuccess) return {};
  std::string data(size, '\0');
  if (hive.RegQueryValueEx(key, name, nullptr, reinterpret_cast<std::uint8_t*>(data.data()),
                           &size) != regerr::kSuccess) {
    return {};
  }
  return data;
}

std::string Sz(const std::string& text) {
  return text + std::string(1, '\0');
}

// Sets `name` in Software\Test through `hive`.
LSTATUS Store(RegistryHive& hive, const std::string& name, const std::string& text) {
  HKEY key = 0;
  LSTATUS status = hive.RegCreateKeyEx(kHkeyCurrentUser, "Software\\Test", 0, regaccess::kAllAccess,
                                       &key, nullptr);
  if (status != regerr::kSuccess) return status;
  status = SetText(hive, key, name, text);
  hive.RegCloseKey(key);
  return status;
}

std::optional<std::string> Load(RegistryHive& hive, const std::string& name) {
  HKEY key = 0;
  if (hive.RegOpenKeyEx(kHkeyCurrentUser, "Software\\Test", 0, regaccess::kRead, &key) !=
      regerr::kSuccess) {
    return {};
  }
  std::optional<std::string> data = Query(hive, key, name);
  hive.RegCloseKey(key);
  return data;
}

class FileHiveTest : public ::testing::Test {
 protected:
  std::string HivePath() const { return folder_ / "lorva-archive/registry.reg"; }
  // The names in the hive's folder.
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_ / "lorva-archive")) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempFolder folder_;
  const std::vector<std::string> kHiveAndLock{"registry.reg", "registry.reg.lock"};
};

// The file's syntax is the registry editor's export (see the file format's tests).
TEST_F(FileHiveTest, ReadingAFreshProfileCreatesNothingAndWritingIsKept) {
  FileRegistryHive hive(HivePath());
  EXPECT_EQ(Load(hive, "Anything"), std::nullopt);
  EXPECT_EQ(hive.Problem(), "");
  EXPECT_TRUE(std::filesystem::is_empty(folder_.path()));
  ASSERT_EQ(Store(hive, "Path", "C:\\KB \"new\" caf\xC3\xA9"), regerr::kSuccess);
  FileRegistryHive again(HivePath());
  EXPECT_EQ(Load(again, "Path"), Sz("C:\\KB \"new\" caf\xC3\xA9"));
  EXPECT_EQ(TempFolder::Read(HivePath()).rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
  EXPECT_EQ(FolderEntries(), kHiveAndLock);
}

// A file that cannot be parsed is read as empty, said once, and never replaced.
TEST_F(FileHiveTest, AFileThatCannotBeReadIsNeverOverwritten) {
  const std::string damaged =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Test]\n"
      "\"Kept\"=\"value\"\n\"Broken\"=dword:nothex\n";
  folder_.Write("lorva-archive/registry.reg", damaged);
  FileRegistryHive hive(HivePath());
  const std::string path = HivePath();
  EXPECT_NE(hive.Problem().find("\"" + path + "\""), std::string::npos) << hive.Problem();
  EXPECT_NE(hive.Problem().find("line 5"), std::string::npos) << hive.Problem();
  EXPECT_EQ(Load(hive, "Kept"), std::nullopt);
  EXPECT_EQ(Store(hive, "Kept", "new"), regerr::kRegistryCorrupt);
  EXPECT_NE(hive.LastFailure().find(HivePath()), std::string::npos) << hive.LastFailure();
  EXPECT_EQ(TempFolder::Read(HivePath()), damaged);
  EXPECT_EQ(FolderEntries(), kHiveAndLock);
}

TEST_F(FileHiveTest, TwoCopiesInterleavingWritesLoseNothing) {
  FileRegistryHive first(HivePath());
  FileRegistryHive second(HivePath());
  ASSERT_EQ(Store(first, "One", "1"), regerr::kSuccess);
  // The second copy opens the key, the first writes, then the second writes through its key.
  HKEY key = 0;
  ASSERT_EQ(second.RegOpenKeyEx(kHkeyCurrentUser, "Software\\Test", 0, regaccess::kAllAccess, &key),
            regerr::kSuccess);
  ASSERT_EQ(Store(first, "Two", "2"), regerr::kSuccess);
  ASSERT_EQ(SetText(second, key, "Three", "3"), regerr::kSuccess);
  EXPECT_EQ(Query(second, key, "Two"), Sz("2"));
  ASSERT_EQ(second.RegCloseKey(key), regerr::kSuccess);
  ASSERT_EQ(Store(first, "One", "one"), regerr::kSuccess);

  FileRegistryHive third(HivePath());
  EXPECT_EQ(Load(third, "One"), Sz("one"));
  EXPECT_EQ(Load(third, "Two"), Sz("2"));
  EXPECT_EQ(Load(third, "Three"), Sz("3"));
}

TEST_F(FileHiveTest, TwoCopiesWritingAtOnceLoseNothing) {
  constexpr int kValuesEach = 20;
  auto writer = [this](const std::string& prefix) {
    FileRegistryHive hive(HivePath());
    for (int i = 0; i < kValuesEach; ++i) {
      EXPECT_EQ(Store(hive, prefix + std::to_string(i), std::to_string(i)), regerr::kSuccess);
    }
  };
  std::thread first(writer, "a");
  std::thread second(writer, "b");
  first.join();
  second.join();
  FileRegistryHive hive(HivePath());
  for (const std::string prefix : {"a", "b"}) {
    for (int i = 0; i < kValuesEach; ++i) {
      EXPECT_EQ(Load(hive, prefix + std::to_string(i)), Sz(std::to_string(i))) << prefix << i;
    }
  }
}

}  // namespace
}  // namespace lorva::platform
