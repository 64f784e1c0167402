#include "platform/registry/hive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "registry/temp_folder.h"

namespace lorva::platform {
namespace {

using lorva::testing::ReadBytes;
using lorva::testing::TempFolder;
using lorva::testing::WriteBytes;

const std::uint8_t* Bytes(const std::string& text) {
  return reinterpret_cast<const std::uint8_t*>(text.data());
}

LSTATUS SetText(RegistryHive& hive, HKEY key, const std::string& name, const std::string& text) {
  return hive.RegSetValueEx(key, name, regtype::kSz, Bytes(text),
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

// The calls answer alike whether the tree lives in memory or in a file.
class HiveCallsTest : public ::testing::TestWithParam<bool> {
 protected:
  HiveCallsTest() {
    if (GetParam()) {
      hive_ = std::make_unique<FileRegistryHive>((folder_.path() / "registry.reg").string());
    } else {
      hive_ = std::make_unique<MemoryRegistryHive>();
    }
  }
  RegistryHive& hive() { return *hive_; }

  TempFolder folder_;
  std::unique_ptr<RegistryHive> hive_;
};

TEST_P(HiveCallsTest, CreatedKeysOpenInAnyLetterCase) {
  HKEY key = 0;
  EXPECT_EQ(hive().RegOpenKeyEx(kHkeyCurrentUser, "Software\\Tessaly", 0, regaccess::kRead, &key),
            regerr::kFileNotFound);
  std::uint32_t disposition = 0;
  ASSERT_EQ(hive().RegCreateKeyEx(kHkeyCurrentUser, "Software\\Tessaly\\Outlook Lorva", 0,
                                  regaccess::kAllAccess, &key, &disposition),
            regerr::kSuccess);
  EXPECT_EQ(disposition, kRegCreatedNewKey);
  EXPECT_EQ(hive().RegCloseKey(key), regerr::kSuccess);
  ASSERT_EQ(hive().RegCreateKeyEx(kHkeyCurrentUser, "SOFTWARE\\tessaly\\outlook lorva", 0,
                                  regaccess::kAllAccess, &key, &disposition),
            regerr::kSuccess);
  EXPECT_EQ(disposition, kRegOpenedExistingKey);
  EXPECT_EQ(SetText(hive(), key, "Name", "value"), regerr::kSuccess);
  EXPECT_EQ(hive().RegCloseKey(key), regerr::kSuccess);

  HKEY parent = 0;
  ASSERT_EQ(hive().RegOpenKeyEx(kHkeyCurrentUser, "software", 0, regaccess::kRead, &parent),
            regerr::kSuccess);
  ASSERT_EQ(hive().RegOpenKeyEx(parent, "Tessaly\\OUTLOOK LORVA", 0, regaccess::kRead, &key),
            regerr::kSuccess);
  EXPECT_EQ(Query(hive(), key, "NAME"), Sz("value"));
  EXPECT_EQ(hive().RegCloseKey(key), regerr::kSuccess);
  EXPECT_EQ(hive().RegCloseKey(parent), regerr::kSuccess);
}

TEST_P(HiveCallsTest, QueriesAnswerSizeTypeAndMoreData) {
  HKEY key = 0;
  ASSERT_EQ(hive().RegCreateKeyEx(kHkeyCurrentUser, "Software\\Test", 0, regaccess::kAllAccess,
                                  &key, nullptr),
            regerr::kSuccess);
  // REG_SZ without its zero is completed by the hive; with it, it is kept as given.
  ASSERT_EQ(SetText(hive(), key, "Text", "abc"), regerr::kSuccess);
  ASSERT_EQ(SetText(hive(), key, "Zero", Sz("abc")), regerr::kSuccess);
  const std::string dword("\x0a\0\0\0", 4);
  ASSERT_EQ(hive().RegSetValueEx(key, "Number", regtype::kDword, Bytes(dword), 4),
            regerr::kSuccess);

  std::uint32_t type = 99;
  std::uint32_t size = 0;
  EXPECT_EQ(hive().RegQueryValueEx(key, "Text", &type, nullptr, &size), regerr::kSuccess);
  EXPECT_EQ(type, regtype::kSz);
  EXPECT_EQ(size, 4u);
  std::uint8_t small[2] = {0, 0};
  size = sizeof small;
  EXPECT_EQ(hive().RegQueryValueEx(key, "Text", &type, small, &size), regerr::kMoreData);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(Query(hive(), key, "Text"), Sz("abc"));
  EXPECT_EQ(Query(hive(), key, "Zero"), Sz("abc"));

  EXPECT_EQ(hive().RegQueryValueEx(key, "Number", &type, nullptr, nullptr), regerr::kSuccess);
  EXPECT_EQ(type, regtype::kDword);
  EXPECT_EQ(Query(hive(), key, "Number"), dword);

  EXPECT_EQ(hive().RegQueryValueEx(key, "Missing", &type, nullptr, &size), regerr::kFileNotFound);
  EXPECT_EQ(hive().RegQueryValueEx(key, "Text", &type, small, nullptr), regerr::kInvalidParameter);
  EXPECT_EQ(hive().RegCloseKey(key), regerr::kSuccess);
}

TEST_P(HiveCallsTest, RefusesWhatWindowsRefuses) {
  HKEY key = 0;
  ASSERT_EQ(hive().RegCreateKeyEx(kHkeyCurrentUser, "Software\\Test", 0, regaccess::kAllAccess,
                                  &key, nullptr),
            regerr::kSuccess);
  ASSERT_EQ(hive().RegCloseKey(key), regerr::kSuccess);
  EXPECT_EQ(hive().RegCloseKey(key), regerr::kInvalidHandle);
  EXPECT_EQ(SetText(hive(), key, "a", "b"), regerr::kInvalidHandle);

  HKEY readOnly = 0;
  ASSERT_EQ(hive().RegOpenKeyEx(kHkeyCurrentUser, "Software\\Test", 0, regaccess::kRead, &readOnly),
            regerr::kSuccess);
  EXPECT_EQ(SetText(hive(), readOnly, "a", "b"), regerr::kAccessDenied);
  EXPECT_EQ(SetText(hive(), readOnly, "two\nlines", "b"), regerr::kAccessDenied);
  EXPECT_EQ(hive().RegCloseKey(readOnly), regerr::kSuccess);

  const HKEY localMachine = 0x80000002u;
  EXPECT_EQ(hive().RegOpenKeyEx(localMachine, "Software", 0, regaccess::kRead, &key),
            regerr::kInvalidHandle);
  EXPECT_EQ(hive().RegCreateKeyEx(kHkeyCurrentUser, "Software\\\\Test", 0, regaccess::kAllAccess,
                                  &key, nullptr),
            regerr::kBadPathname);
  EXPECT_EQ(hive().RegCreateKeyEx(kHkeyCurrentUser, "Software\\Te\nst", 0, regaccess::kAllAccess,
                                  &key, nullptr),
            regerr::kBadPathname);
  EXPECT_EQ(hive().RegCreateKeyEx(kHkeyCurrentUser, "Software\\Volatile", 1, regaccess::kAllAccess,
                                  &key, nullptr),
            regerr::kInvalidParameter);
  EXPECT_EQ(SetText(hive(), kHkeyCurrentUser, "two\nlines", "b"), regerr::kInvalidParameter);
}

INSTANTIATE_TEST_SUITE_P(MemoryAndFile, HiveCallsTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "File" : "Memory"; });

// ---- the file ----

class FileHiveTest : public ::testing::Test {
 protected:
  std::filesystem::path Folder() const { return folder_.path() / "lorva-archive"; }
  std::string HivePath() const { return (Folder() / "registry.reg").string(); }

  // Sets `name` in Software\Test through `hive`.
  static LSTATUS Store(RegistryHive& hive, const std::string& name, const std::string& text) {
    HKEY key = 0;
    LSTATUS status = hive.RegCreateKeyEx(kHkeyCurrentUser, "Software\\Test", 0,
                                         regaccess::kAllAccess, &key, nullptr);
    if (status != regerr::kSuccess) return status;
    status = SetText(hive, key, name, text);
    hive.RegCloseKey(key);
    return status;
  }
  static std::optional<std::string> Load(RegistryHive& hive, const std::string& name) {
    HKEY key = 0;
    if (hive.RegOpenKeyEx(kHkeyCurrentUser, "Software\\Test", 0, regaccess::kRead, &key) !=
        regerr::kSuccess) {
      return {};
    }
    std::optional<std::string> data = Query(hive, key, name);
    hive.RegCloseKey(key);
    return data;
  }
  // The names in the hive's folder.
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Folder())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempFolder folder_;
};

TEST_F(FileHiveTest, ReadingAFreshProfileCreatesNothing) {
  FileRegistryHive hive(HivePath());
  EXPECT_EQ(Load(hive, "Anything"), std::nullopt);
  HKEY key = 0;
  EXPECT_EQ(hive.RegOpenKeyEx(kHkeyCurrentUser, "", 0, regaccess::kRead, &key), regerr::kSuccess);
  EXPECT_EQ(hive.RegQueryValueEx(key, "x", nullptr, nullptr, nullptr), regerr::kFileNotFound);
  EXPECT_EQ(hive.RegCloseKey(key), regerr::kSuccess);
  EXPECT_EQ(hive.Problem(), "");
  EXPECT_FALSE(std::filesystem::exists(Folder()));
}

TEST_F(FileHiveTest, WritesTheRegExportSyntax) {
  FileRegistryHive hive(HivePath());
  ASSERT_EQ(Store(hive, "Path", "C:\\KB \"new\" caf\xC3\xA9"), regerr::kSuccess);
  HKEY key = 0;
  ASSERT_EQ(hive.RegOpenKeyEx(kHkeyCurrentUser, "Software\\Test", 0, regaccess::kAllAccess, &key),
            regerr::kSuccess);
  const std::string dword("\x0a\0\0\0", 4);
  ASSERT_EQ(hive.RegSetValueEx(key, "Count", regtype::kDword, Bytes(dword), 4), regerr::kSuccess);
  ASSERT_EQ(hive.RegSetValueEx(key, "Blob", regtype::kBinary, Bytes("\x01\xff"), 2),
            regerr::kSuccess);
  ASSERT_EQ(hive.RegCloseKey(key), regerr::kSuccess);
  EXPECT_EQ(ReadBytes(HivePath()),
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software]\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Test]\n"
            "\"Path\"=\"C:\\\\KB \\\"new\\\" caf\xC3\xA9\"\n"
            "\"Count\"=dword:0000000a\n"
            "\"Blob\"=hex:01,ff\n"
            "\n");
  EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

// Fails the write of the new file's bytes (after half of them) or their flush to disk.
class FailingFileHive : public FileRegistryHive {
 public:
  enum class FailAt { kNothing, kWrite, kSync };
  FailingFileHive(std::string path, FailAt failAt)
      : FileRegistryHive(std::move(path)), failAt_(failAt) {}

 protected:
  bool WriteAll(int fd, std::string_view bytes) override {
    if (failAt_ != FailAt::kWrite) return FileRegistryHive::WriteAll(fd, bytes);
    FileRegistryHive::WriteAll(fd, bytes.substr(0, bytes.size() / 2));
    errno = ENOSPC;
    return false;
  }
  bool SyncFile(int fd) override {
    if (failAt_ != FailAt::kSync) return FileRegistryHive::SyncFile(fd);
    errno = EIO;
    return false;
  }

 private:
  FailAt failAt_;
};

TEST_F(FileHiveTest, AFailedWriteLeavesTheOldFileWhole) {
  {
    FileRegistryHive hive(HivePath());
    ASSERT_EQ(Store(hive, "Kept", "old value"), regerr::kSuccess);
  }
  const std::string before = ReadBytes(HivePath());
  struct Case {
    FailingFileHive::FailAt failAt;
    LSTATUS expected;
  };
  for (const Case& c : {Case{FailingFileHive::FailAt::kWrite, regerr::kDiskFull},
                        Case{FailingFileHive::FailAt::kSync, regerr::kRegistryIoFailed}}) {
    SCOPED_TRACE(c.failAt == FailingFileHive::FailAt::kWrite ? "write fails" : "flush fails");
    FailingFileHive hive(HivePath(), c.failAt);
    EXPECT_EQ(Store(hive, "Kept", "a new value long enough to be cut in half"), c.expected);
    EXPECT_EQ(ReadBytes(HivePath()), before);
    EXPECT_NE(hive.LastFailure().find(HivePath()), std::string::npos) << hive.LastFailure();
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
    EXPECT_EQ(Load(hive, "Kept"), Sz("old value"));
  }
}

TEST_F(FileHiveTest, AnUnparsableFileIsReadAsEmptyAndNeverOverwritten) {
  std::filesystem::create_directories(Folder());
  const std::string damaged =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Test]\n"
      "\"Kept\"=\"value\"\n\"Broken\"=dword:nothex\n";
  WriteBytes(HivePath(), damaged);
  FileRegistryHive hive(HivePath());

  const std::string problem = hive.Problem();
  const std::string path = HivePath();
  EXPECT_NE(problem.find("\"" + path + "\""), std::string::npos) << problem;
  EXPECT_NE(problem.find("line 5"), std::string::npos) << problem;

  EXPECT_EQ(Load(hive, "Kept"), std::nullopt);
  EXPECT_EQ(Store(hive, "Kept", "new"), regerr::kRegistryCorrupt);
  EXPECT_NE(hive.LastFailure().find(HivePath()), std::string::npos) << hive.LastFailure();
  EXPECT_EQ(SetText(hive, kHkeyCurrentUser, "Root", "new"), regerr::kRegistryCorrupt);
  EXPECT_EQ(ReadBytes(HivePath()), damaged);
  EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

TEST_F(FileHiveTest, AnUnreadableFileIsNeverReplaced) {
  std::filesystem::create_directories(std::filesystem::path(HivePath()) / "inside");
  FileRegistryHive hive(HivePath());
  EXPECT_NE(hive.Problem().find(HivePath()), std::string::npos);
  EXPECT_EQ(Load(hive, "Kept"), std::nullopt);
  EXPECT_NE(Store(hive, "Kept", "new"), regerr::kSuccess);
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(HivePath()) / "inside"));
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

TEST(HivePathTest, FollowsXdgConfigHome) {
  const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
  const std::optional<std::string> saved =
      savedXdg ? std::optional<std::string>(savedXdg) : std::nullopt;
  const char* home = std::getenv("HOME");
  ::setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
  EXPECT_EQ(DefaultHivePath(), "/somewhere/config/lorva-archive/registry.reg");
  ::setenv("XDG_CONFIG_HOME", "relative/config", 1);  // not absolute: ignored
  if (home != nullptr && home[0] != '\0') {
    EXPECT_EQ(DefaultHivePath(), std::string(home) + "/.config/lorva-archive/registry.reg");
  }
  ::unsetenv("XDG_CONFIG_HOME");
  if (home != nullptr && home[0] != '\0') {
    EXPECT_EQ(DefaultHivePath(), std::string(home) + "/.config/lorva-archive/registry.reg");
  }
  if (saved) ::setenv("XDG_CONFIG_HOME", saved->c_str(), 1);
}

}  // namespace
}  // namespace lorva::platform
