#include "support/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "base/error.h"
#include "base/utf8.h"

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

bool IsHtmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void AppendHex(std::string& out, std::uint32_t value, int minimumDigits) {
  static const char kHex[] = "0123456789ABCDEF";
  char digits[8];
  int count = 0;
  do {
    digits[count++] = kHex[value & 0xF];
    value >>= 4;
  } while (value != 0 && count < 8);
  for (int i = count; i < minimumDigits; ++i) out += '0';
  while (count > 0) out += digits[--count];
}

// A temporary file beside `finalPath`, made afresh (never an existing file, never through a
// link) and open for writing.
struct TemporaryFile {
  std::FILE* file = nullptr;
  std::string path;
};

TemporaryFile CreateTemporaryBeside(const std::string& finalPath) {
  {
    std::error_code code;
    if (fs::is_directory(fs::symlink_status(finalPath, code))) {
      throw Error(errnum::kPermissionDenied, "Permission denied: " + finalPath);
    }
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    TemporaryFile temporary;
    temporary.path = TemporaryPathBeside(finalPath);
    const int fd =
        ::open(temporary.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;  // left by an earlier process of the same number
      if (errno == ENOENT) throw Error(errnum::kPathNotFound, "Path not found: " + finalPath);
      throw SystemError(errno, finalPath);
    }
    temporary.file = ::fdopen(fd, "wb");
    if (temporary.file == nullptr) {
      const int error = errno;
      ::close(fd);
      ::unlink(temporary.path.c_str());
      throw SystemError(error, finalPath);
    }
    return temporary;
  }
  throw SystemError(EEXIST, finalPath);
}

class FileTextStream : public TextStream {
 public:
  // A stream that writes to `file` (owned) at `path`.
  FileTextStream(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}
  // A stream that writes to a temporary file and renames it to `path` when closed.
  FileTextStream(TemporaryFile temporary, std::string path)
      : file_(temporary.file), path_(std::move(path)), temporary_(std::move(temporary.path)) {}
  // A stream that reads `text`.
  explicit FileTextStream(std::string text, std::string path)
      : path_(std::move(path)), text_(std::move(text)), reading_(true) {}
  ~FileTextStream() override {
    if (file_ != nullptr) std::fclose(file_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
  }

  void Write(const std::string& text) override {
    CheckOpen();
    if (reading_) throw Error(kBadFileMode, "Bad file mode: " + path_);
    const std::string bytes = encoder_.Encode(text);
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
      Error error = SystemError(errno, path_);
      if (!failure_) failure_ = error;
      throw error;
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
      if (std::fclose(file) != 0 || !flushed) {
        if (!failure_) failure_ = SystemError(flushed ? errno : error, path_);
      }
    }
    if (temporary_.empty()) {
      if (failure_) throw *failure_;
      return;
    }
    const std::string temporary = std::exchange(temporary_, std::string());
    if (failure_) {
      ::unlink(temporary.c_str());
      throw *failure_;
    }
    std::error_code code;
    fs::rename(temporary, path_, code);
    if (code) {
      ::unlink(temporary.c_str());
      throw ErrorFromSystem(code, path_);
    }
  }

 private:
  void CheckOpen() const {
    if (closed_) throw Error(kBadFileMode, "Bad file mode: the stream of " + path_ + " is closed");
  }

  std::FILE* file_ = nullptr;
  std::string path_;
  std::string temporary_;  // while writing in place of path_: the temporary file
  std::string text_;
  std::size_t position_ = 0;
  bool reading_ = false;
  bool closed_ = false;
  std::optional<Error> failure_;  // the first failed write or flush
  HtmlAsciiEncoder encoder_;
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

std::unique_ptr<TextStream> FileSystemObject::CreateReplacingTextFile(const std::string& path) {
  return std::make_unique<FileTextStream>(CreateTemporaryBeside(path), path);
}

void FileSystemObject::WriteFileReplacing(const std::string& path, std::string_view bytes) {
  TemporaryFile temporary = CreateTemporaryBeside(path);
  const bool written =
      bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), temporary.file) == bytes.size();
  int error = errno;
  const bool flushed = written && std::fflush(temporary.file) == 0;
  if (written && !flushed) error = errno;
  if (std::fclose(temporary.file) != 0 && written && flushed) {
    error = errno;
  } else if (written && flushed) {
    std::error_code code;
    fs::rename(temporary.path, path, code);
    if (!code) return;
    ::unlink(temporary.path.c_str());
    throw ErrorFromSystem(code, path);
  }
  ::unlink(temporary.path.c_str());
  throw SystemError(error, path);
}

std::string TemporaryPathBeside(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  return folder + ".lorva-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
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

std::string HtmlAsciiEncoder::Encode(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[pos]);
    if (lead < 0x80) {
      Markup(static_cast<char>(lead), out);
      ++pos;
      continue;
    }
    char32_t cp;
    std::size_t length = utf8::DecodeAt(utf8, pos, cp);
    if (length == 0) {
      cp = FromWindows1252(lead);
      length = 1;
    }
    Character(cp, out);
    // A character beyond ASCII is part of no tag name, comment opening or end tag searched for.
    switch (state_) {
      case State::kTagOpen:
        state_ = State::kData;
        break;
      case State::kTagName:
        name_ += '?';
        break;
      case State::kBang:
        state_ = State::kInTag;
        break;
      case State::kComment:
        dashes_ = 0;
        break;
      case State::kRawText:
        endMatched_ = 0;
        break;
      default:
        break;
    }
    pos += length;
  }
  return out;
}

void HtmlAsciiEncoder::Markup(char c, std::string& out) {
  out += c;
  switch (state_) {
    case State::kData:
      if (c == '<') state_ = State::kTagOpen;
      break;
    case State::kTagOpen:
      if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
        name_.assign(1, AsciiLower(c));
        raw_ = Raw::kNone;
        quote_ = 0;
        state_ = State::kTagName;
      } else if (c == '!') {
        dashes_ = 0;
        state_ = State::kBang;
      } else if (c == '/') {  // an end tag: read to its end
        raw_ = Raw::kNone;
        quote_ = 0;
        state_ = State::kInTag;
      } else if (c != '<') {
        state_ = State::kData;
      }
      break;
    case State::kTagName:
      if (IsHtmlSpace(c) || c == '/' || c == '>') {
        raw_ = name_ == "style" ? Raw::kStyle : name_ == "script" ? Raw::kScript : Raw::kNone;
        state_ = State::kInTag;
        if (c == '>') EndOfTag();
      } else if (name_.size() < 8) {
        name_ += AsciiLower(c);
      } else {
        name_ = "?";
      }
      break;
    case State::kInTag:
      if (quote_ != 0) {
        if (c == quote_) quote_ = 0;
      } else if (c == '"' || c == '\'') {
        quote_ = c;
      } else if (c == '>') {
        EndOfTag();
      }
      break;
    case State::kBang:
      if (c == '-') {
        if (++dashes_ == 2) {
          dashes_ = 0;
          state_ = State::kComment;
        }
      } else {
        raw_ = Raw::kNone;
        quote_ = 0;
        state_ = c == '>' ? State::kData : State::kInTag;
      }
      break;
    case State::kComment:
      if (c == '-') {
        ++dashes_;
      } else {
        if (c == '>' && dashes_ >= 2) state_ = State::kData;
        dashes_ = 0;
      }
      break;
    case State::kRawText: {
      const std::string_view end = raw_ == Raw::kStyle ? "</style" : "</script";
      if (endMatched_ == end.size()) {
        if (IsHtmlSpace(c) || c == '/' || c == '>') {
          raw_ = Raw::kNone;
          quote_ = 0;
          state_ = c == '>' ? State::kData : State::kInTag;
          endMatched_ = 0;
          break;
        }
        endMatched_ = 0;
      }
      if (AsciiLower(c) == end[endMatched_]) {
        ++endMatched_;
      } else {
        endMatched_ = c == '<' ? 1 : 0;
      }
      break;
    }
  }
}

void HtmlAsciiEncoder::EndOfTag() {
  state_ = raw_ == Raw::kNone ? State::kData : State::kRawText;
  endMatched_ = 0;
}

void HtmlAsciiEncoder::Character(char32_t cp, std::string& out) const {
  const auto value = static_cast<std::uint32_t>(cp);
  if (state_ == State::kRawText && raw_ == Raw::kStyle) {
    out += '\\';
    AppendHex(out, value, 1);
    out += ' ';
  } else if (state_ == State::kRawText && raw_ == Raw::kScript) {
    if (value > 0xFFFF) {
      const std::uint32_t offset = value - 0x10000;
      out += "\\u";
      AppendHex(out, 0xD800 + (offset >> 10), 4);
      out += "\\u";
      AppendHex(out, 0xDC00 + (offset & 0x3FF), 4);
    } else {
      out += "\\u";
      AppendHex(out, value, 4);
    }
  } else {
    out += "&#";
    out += std::to_string(value);
    out += ';';
  }
}

std::string ToAsciiWithReferences(const std::string& utf8) {
  HtmlAsciiEncoder encoder;
  return encoder.Encode(utf8);
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
