#include "support/file_system.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "support/error.h"

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

// Decodes one UTF-8 sequence at `pos`; returns its length, or 0 when the bytes there are not
// valid UTF-8 (overlong forms, surrogates and values beyond U+10FFFF are invalid).
std::size_t DecodeUtf8At(const std::string& text, std::size_t pos, char32_t& out) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  std::size_t length;
  char32_t value;
  if (lead < 0x80) {
    out = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
  } else {
    return 0;
  }
  if (pos + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  if ((length == 3 && value < 0x800) || (length == 4 && value < 0x10000) || value > 0x10FFFF ||
      (value >= 0xD800 && value <= 0xDFFF)) {
    return 0;
  }
  out = value;
  return length;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool IsValidUtf8(const std::string& text) {
  char32_t cp;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = DecodeUtf8At(text, pos, cp);
    if (length == 0) return false;
    pos += length;
  }
  return true;
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
    std::size_t length = DecodeUtf8At(utf8, pos, cp);
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
  if (IsValidUtf8(bytes)) {
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
    return bytes;
  }
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (const char c : bytes) AppendUtf8(out, FromWindows1252(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace lorva
