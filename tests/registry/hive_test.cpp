#include "platform/registry/hive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "support_code/temp_folder.h"

namespace lorva::platform {
namespace {

using lorva::testing::TempFolder;

// Sets `name` to `text` as REG_SZ data without a terminating zero.
LSTATUS SetText(RegistryHive& hive, HKEY key, const std::string& name, const std::string& text) {
  return hive.RegSetValueEx(key, name, regtype::kSz,
                            reinterpret_cast<const std::uint8_t*>(text.data()),
                            static_cast<std::uint32_t>(text.size()));
}

// The value's data, or "none" when the query fails.
std::string Query(RegistryHive& hive, HKEY key, const std::string& name) {
  std::string data(64, '\0');
  std::uint32_t size = 64;
  if (hive.RegQueryValueEx(key, name, nullptr, reinterpret_cast<std::uint8_t*>(data.data()),
                           &size) != regerr::kSuccess) {
    return "none";
  }
  return data.substr(0, size);
}

// Sets `name` in Software\Test through `hive`.
LSTATUS Store(RegistryHive& hive, const std::string& name, const std::string& text) {
  HKEY key = 0;
  LSTATUS status = hive.RegCreateKeyEx(kHkeyCurrentUser, "Software\\Test", 0, regaccess::kAllAccess,
                                       &key, nullptr);
  if (status == regerr::kSuccess) status = SetText(hive, key, name, text);
  hive.RegCloseKey(key);
  return status;
}

// Reads `name` in Software\Test through `hive`; "none" when it cannot.
std::string Load(RegistryHive& hive, const std::string& name) {
  HKEY key = 0;
  if (hive.RegOpenKeyEx(kHkeyCurrentUser, "Software\\Test", 0, regaccess::kRead, &key)) {
    return "none";
  }
  const std::string data = Query(hive, key, name);
  hive.RegCloseKey(key);
  return data;
}

class FileHiveTest : public ::testing::Test {
 protected:
  std::string HivePath() const { return folder_ / "lorva-archive/registry.reg"; }
  // The hive's folder holds the file and its lock only.
  void ExpectFileAndLockOnly() const {
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_ / "lorva-archive"), {}), 2);
    EXPECT_TRUE(std::filesystem::exists(HivePath() + ".lock"));
  }

  TempFolder folder_;
};

// The file's syntax is the registry editor's export (see the file format's tests).
TEST_F(FileHiveTest, ReadingAFreshProfileCreatesNothingAndWritingIsKept) {
  FileRegistryHive hive(HivePath());
  EXPECT_EQ(Load(hive, "Anything"), "none");
  EXPECT_EQ(hive.Problem(), "");
  EXPECT_TRUE(std::filesystem::is_empty(folder_.path()));
  ASSERT_EQ(Store(hive, "Path", "C:\\KB \"new\" caf\xC3\xA9"), regerr::kSuccess);
  FileRegistryHive again(HivePath());
  EXPECT_EQ(Load(again, "Path"), std::string("C:\\KB \"new\" caf\xC3\xA9") + '\0');
  EXPECT_EQ(TempFolder::Read(HivePath()).rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
  ExpectFileAndLockOnly();
}

// A file that cannot be parsed is read as empty, said once, and never replaced.
TEST_F(FileHiveTest, AFileThatCannotBeReadIsNeverOverwritten) {
  const std::string damaged =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Test]\n"
      "\"Kept\"=\"value\"\n\"Broken\"=dword:nothex\n";
  folder_.Write("lorva-archive/registry.reg", damaged);
  FileRegistryHive hive(HivePath());
  const std::string quoted = std::string(1, '"').append(HivePath()).append(1, '"');
  EXPECT_NE(hive.Problem().find(quoted), std::string::npos) << hive.Problem();
  EXPECT_NE(hive.Problem().find("line 5"), std::string::npos) << hive.Problem();
  EXPECT_EQ(Load(hive, "Kept"), "none");
  EXPECT_EQ(Store(hive, "Kept", "new"), regerr::kRegistryCorrupt);
  EXPECT_NE(hive.LastFailure().find(HivePath()), std::string::npos) << hive.LastFailure();
  EXPECT_EQ(TempFolder::Read(HivePath()), damaged);
  ExpectFileAndLockOnly();
}

TEST_F(FileHiveTest, TwoCopiesInterleavingWritesLoseNothing) {
  FileRegistryHive first(HivePath()), second(HivePath());
  ASSERT_EQ(Store(first, "One", "1"), regerr::kSuccess);
  // The second copy opens the key, the first writes, then the second writes through its key.
  HKEY key = 0;
  ASSERT_EQ(second.RegOpenKeyEx(kHkeyCurrentUser, "Software\\Test", 0, regaccess::kAllAccess, &key),
            regerr::kSuccess);
  ASSERT_EQ(Store(first, "Two", "2"), regerr::kSuccess);
  ASSERT_EQ(SetText(second, key, "Three", "3"), regerr::kSuccess);
  EXPECT_EQ(Query(second, key, "Two"), std::string("2", 2));
  ASSERT_EQ(second.RegCloseKey(key), regerr::kSuccess);
  ASSERT_EQ(Store(first, "One", "one"), regerr::kSuccess);

  FileRegistryHive third(HivePath());
  EXPECT_EQ(Load(third, "One"), std::string("one", 4));
  EXPECT_EQ(Load(third, "Two"), std::string("2", 2));
  EXPECT_EQ(Load(third, "Three"), std::string("3", 2));
}

TEST_F(FileHiveTest, TwoCopiesWritingAtOnceLoseNothing) {
  auto writer = [this](const std::string& prefix) {
    FileRegistryHive hive(HivePath());
    for (int i = 0; i < 20; ++i) {
      EXPECT_EQ(Store(hive, prefix + std::to_string(i), std::to_string(i)), regerr::kSuccess);
    }
  };
  std::thread first(writer, "a"), second(writer, "b");
  first.join();
  second.join();
  FileRegistryHive hive(HivePath());
  for (const std::string prefix : {"a", "b"}) {
    for (int i = 0; i < 20; ++i) {
      EXPECT_EQ(Load(hive, prefix + std::to_string(i)), std::to_string(i) + '\0') << prefix << i;
    }
  }
}

}  // namespace
}  // namespace lorva::platform
