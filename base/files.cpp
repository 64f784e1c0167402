#include "base/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "base/error.h"

namespace lorva {
namespace fs = std::filesystem;
namespace {

std::error_code LastError() {
  return std::error_code(errno, std::generic_category());
}

// The folder part of `path` ("" for a bare name, "/" kept): where its temporary file goes.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

}  // namespace

FileBytes FileBytes::CopyOf(std::span<const std::uint8_t> bytes) {
  FileBytes copy;
  copy.data_ = std::make_unique_for_overwrite<std::uint8_t[]>(bytes.size());
  copy.size_ = bytes.size();
  if (!bytes.empty()) std::memcpy(copy.data_.get(), bytes.data(), bytes.size());
  return copy;
}

std::error_code ReadWholeFile(const std::string& path, FileBytes& bytes) {
  bytes = FileBytes();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return LastError();
  struct stat info {};
  std::size_t expected = 0;
  if (::fstat(fd, &info) == 0 && info.st_size > 0)
    expected = static_cast<std::size_t>(info.st_size);
  // One byte more than expected, so that reaching the end needs no second buffer.
  std::size_t capacity = expected + 1;
  auto data = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
  std::size_t size = 0;
  for (;;) {
    if (size == capacity) {  // the file grew meanwhile
      capacity *= 2;
      auto larger = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
      std::memcpy(larger.get(), data.get(), size);
      data = std::move(larger);
    }
    const ssize_t got = ::read(fd, data.get() + size, capacity - size);
    if (got < 0) {
      if (errno == EINTR) continue;
      const std::error_code code = LastError();
      ::close(fd);
      return code;
    }
    if (got == 0) break;
    size += static_cast<std::size_t>(got);
  }
  ::close(fd);
  bytes.data_ = std::move(data);
  bytes.size_ = size;
  return {};
}

FileBytes ReadWholeFile(const std::string& path) {
  FileBytes bytes;
  if (const std::error_code code = ReadWholeFile(path, bytes)) throw ErrorFromSystem(code, path);
  return bytes;
}

std::string TemporaryPathBeside(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return FolderOf(path) + ".lorva-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
         ".tmp";
}

std::optional<pid_t> TemporaryFileOwner(std::string_view name) {
  constexpr std::string_view kPrefix = ".lorva-";
  constexpr std::string_view kSuffix = ".tmp";
  if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return std::nullopt;
  const std::string_view middle =
      name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
  const std::size_t dash = middle.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash + 1 == middle.size()) {
    return std::nullopt;
  }
  pid_t pid = 0;
  for (std::size_t i = 0; i < middle.size(); ++i) {
    const char c = middle[i];
    if (i == dash) continue;
    if (c < '0' || c > '9') return std::nullopt;
    if (i < dash) {
      if (pid > 100000000) return std::nullopt;
      pid = pid * 10 + (c - '0');
    }
  }
  return pid;
}

std::error_code WriteWholeFile(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return LastError();
  std::error_code code = WriteAll(fd, bytes);
  if (::close(fd) != 0 && !code) code = LastError();
  return code;
}

bool FolderStandsAt(const std::string& path) {
  std::error_code ignored;
  return fs::is_directory(fs::symlink_status(path, ignored));
}

std::error_code ListFolder(const std::string& folder,
                           const std::function<void(std::string_view, FolderEntryType)>& visit) {
  const std::unique_ptr<DIR, int (*)(DIR*)> opened(::opendir(folder.c_str()), ::closedir);
  DIR* const listing = opened.get();
  if (listing == nullptr) return LastError();
  const int fd = ::dirfd(listing);
  std::error_code code;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(listing);
    if (entry == nullptr) {
      if (errno != 0) code = LastError();
      break;
    }
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN) {
      struct stat info;
      if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
        type = S_ISREG(info.st_mode)   ? DT_REG
               : S_ISDIR(info.st_mode) ? DT_DIR
               : S_ISLNK(info.st_mode) ? DT_LNK
                                       : DT_UNKNOWN;
      }
    }
    visit(name, type == DT_REG   ? FolderEntryType::kFile
                : type == DT_DIR ? FolderEntryType::kFolder
                : type == DT_LNK ? FolderEntryType::kLink
                                 : FolderEntryType::kOther);
  }
  return code;
}

std::error_code WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t done = ::write(fd, bytes.data(), bytes.size());
    if (done < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    bytes.remove_prefix(static_cast<std::size_t>(done));
  }
  return {};
}

ReplacingFile::~ReplacingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

std::error_code ReplacingFile::Open(mode_t mode) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temporary = TemporaryPathBeside(path_);
    fd_ = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd_ < 0) {
      if (errno == EEXIST) continue;  // left by an earlier process of the same number
      return LastError();
    }
    temporary_ = std::move(temporary);
    return {};
  }
  return std::make_error_code(std::errc::file_exists);
}

std::error_code ReplacingFile::Commit(bool durable) {
  const int fd = std::exchange(fd_, -1);
  const std::string temporary = std::exchange(temporary_, std::string());
  std::error_code code;
  if (durable && ::fsync(fd) != 0) code = LastError();
  if (::close(fd) != 0 && !code) code = LastError();
  if (!code && ::rename(temporary.c_str(), path_.c_str()) != 0) code = LastError();
  if (code) {
    ::unlink(temporary.c_str());
    return code;
  }
  if (durable) {  // the rename itself
    const std::string folder = FolderOf(path_);
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
  }
  return {};
}

std::error_code ReplaceFile(const std::string& path, std::string_view bytes) {
  ReplacingFile file(path);
  std::error_code code = file.Open();
  if (!code) code = file.Write(bytes);
  if (!code) code = file.Commit();
  return code;
}

std::string ProgramFolder() {
  std::error_code code;
  const fs::path program = fs::read_symlink("/proc/self/exe", code);
  return code ? std::string() : program.parent_path().string();
}

}  // namespace lorva
