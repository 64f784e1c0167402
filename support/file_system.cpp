#include "support/file_system.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "support/error.h"
#include "support/utf8.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kBadFileMode = 54;

// windows-1252 for the bytes 0x80 to 0x9F; the five unassigned ones map to the C1 controls of
// the same value, as the system's conversion does.
constexpr char32_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t FromWindows1252(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kWindows1252High[byte - 0x80];
  return byte;
}

Error SystemError(int error, const std::string& path) {
  return ErrorFromSystem(std::error_code(error, std::generic_category()), path);
}

class FileTextStream : public TextStream {
 public:
  // A stream that writes to `file` (owned).
  FileTextStream(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}
  // A stream that reads `text`.
  explicit FileTextStream(std::string text, std::string path)
      : path_(std::move(path)), text_(std::move(text)), reading_(true) {}
  ~FileTextStream() override {
    if (file_ != nullptr) std::fclose(file_);
  }

  void Write(const std::string& text) override {
    CheckOpen();
    if (reading_) throw Error(kBadFileMode, "Bad file mode: " + path_);
    const std::string bytes = ToAsciiWithReferences(text);
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
      throw SystemError(errno, path_);
    }
  }

  bool AtEndOfStream() override {
    CheckOpen();
    if (!reading_) throw Error(kBadFileMode, "Bad file mode: " + path_);
    return position_ >= text_.size();
  }

  std::string ReadAll() override {
    CheckOpen();
    if (!reading_) throw Error(kBadFileMode, "Bad file mode: " + path_);
    std::string rest = text_.substr(position_);
    position_ = text_.size();
    return rest;
  }

  void Close() override {
    CheckOpen();
    closed_ = true;
    if (file_ != nullptr) {
      std::FILE* file = std::exchange(file_, nullptr);
      const bool flushed = std::fflush(file) == 0;
      const int error = errno;
      if (std::fclose(file) != 0 || !flushed) throw SystemError(flushed ? errno : error, path_);
    }
  }

 private:
  void CheckOpen() const {
    if (closed_) throw Error(kBadFileMode, "Bad file mode: the stream of " + path_ + " is closed");
  }

  std::FILE* file_ = nullptr;
  std::string path_;
  std::string text_;
  std::size_t position_ = 0;
  bool reading_ = false;
  bool closed_ = false;
};

}  // namespace

bool FileSystemObject::FileExists(const std::string& path) {
  std::error_code code;
  const fs::file_status status = fs::status(path, code);
  return !code && fs::exists(status) && !fs::is_directory(status);
}

bool FileSystemObject::FolderExists(const std::string& path) {
  std::error_code code;
  return fs::is_directory(path, code);
}

void FileSystemObject::CreateFolder(const std::string& path) {
  std::error_code code;
  if (fs::exists(fs::symlink_status(path, code))) {
    throw Error(errnum::kFileAlreadyExists, "File already exists: " + path);
  }
  if (!fs::create_directory(path, code) || code) {
    if (!code) code = std::make_error_code(std::errc::file_exists);
    if (code == std::errc::no_such_file_or_directory) {
      throw Error(errnum::kPathNotFound, "Path not found: " + path);
    }
    throw ErrorFromSystem(code, path);
  }
}

std::unique_ptr<TextStream> FileSystemObject::CreateTextFile(const std::string& path,
                                                             bool overwrite, bool unicode) {
  if (unicode) {
    throw Error(errnum::kInvalidProcedureCall, "Invalid procedure call or argument: Unicode");
  }
  if (FolderExists(path)) throw Error(errnum::kPermissionDenied, "Permission denied: " + path);
  if (!overwrite && FileExists(path)) {
    throw Error(errnum::kFileAlreadyExists, "File already exists: " + path);
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    if (errno == ENOENT) throw Error(errnum::kPathNotFound, "Path not found: " + path);
    throw SystemError(errno, path);
  }
  return std::make_unique<FileTextStream>(file, path);
}

std::unique_ptr<TextStream> FileSystemObject::OpenTextFile(const std::string& path, int mode,
                                                           bool create, int format) {
  if (mode != 1 || format != 0) {
    throw Error(errnum::kInvalidProcedureCall,
                "Invalid procedure call or argument: only reading 8-bit text is supported");
  }
  if (!FileExists(path)) {
    if (!create) throw Error(errnum::kFileNotFound, "File not found: " + path);
    return std::make_unique<FileTextStream>(std::string(), path);
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) throw SystemError(errno, path);
  std::string bytes;
  char buffer[65536];
  std::size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, count);
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) throw SystemError(error, path);
  return std::make_unique<FileTextStream>(DecodeTextFile(bytes), path);
}

void FileSystemObject::DeleteFile(const std::string& path, bool force) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) throw SystemError(errno, path);
  if (S_ISDIR(info.st_mode)) throw Error(errnum::kFileNotFound, "File not found: " + path);
  // A read-only file (no write permission for anyone) is kept unless forced; checked from the
  // mode bits, since a privileged user may delete it anyway.
  if (!force && !S_ISLNK(info.st_mode) && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    throw Error(errnum::kPermissionDenied, "Permission denied: " + path);
  }
  if (std::remove(path.c_str()) != 0) throw SystemError(errno, path);
}

void FileSystemObject::RenameFile(const std::string& from, const std::string& to) {
  std::error_code code;
  fs::rename(from, to, code);
  if (code) throw ErrorFromSystem(code, to);
}

std::string ToAsciiWithReferences(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[pos]);
    if (lead < 0x80) {
      // Runs of ASCII are copied in one go.
      std::size_t end = pos + 1;
      while (end < utf8.size() && static_cast<unsigned char>(utf8[end]) < 0x80) ++end;
      out.append(utf8, pos, end - pos);
      pos = end;
      continue;
    }
    char32_t cp;
    std::size_t length = utf8::DecodeAt(utf8, pos, cp);
    if (length == 0) {
      cp = FromWindows1252(lead);
      length = 1;
    }
    out += "&#";
    out += std::to_string(static_cast<std::uint32_t>(cp));
    out += ';';
    pos += length;
  }
  return out;
}

std::string DecodeTextFile(const std::string& bytes) {
  if (utf8::IsValid(bytes)) {
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
    return bytes;
  }
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (const char c : bytes) utf8::Append(out, FromWindows1252(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace lorva
