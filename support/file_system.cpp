#include "support/file_system.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "base/error.h"
#include "base/files.h"
#include "base/text_rules.h"
#include "base/utf8.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;

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

class FileTextStream : public TextStream {
 public:
  // A stream that writes to `file` (owned) at `path`.
  FileTextStream(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}
  // A stream that writes to a temporary file and renames it over its place when closed.
  explicit FileTextStream(std::unique_ptr<ReplacingFile> replacing)
      : path_(replacing->path()), replacing_(std::move(replacing)) {}
  // A stream that reads `text`.
  explicit FileTextStream(std::string text, std::string path)
      : path_(std::move(path)), text_(std::move(text)), reading_(true) {}
  ~FileTextStream() override {
    if (file_ != nullptr) std::fclose(file_);
  }

  void Write(const std::string& text) override {
    CheckOpen();
    if (reading_) throw Error(errnum::kBadFileMode, "Bad file mode: " + path_);
    const std::string bytes = encoder_.Encode(text);
    std::error_code code;
    if (replacing_) {
      code = replacing_->Write(bytes);
    } else if (!bytes.empty() &&
               std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
      code = std::error_code(errno, std::generic_category());
    }
    if (code) {
      Error error = ErrorFromSystem(code, path_);
      if (!failure_) failure_ = error;
      throw error;
    }
  }

  bool AtEndOfStream() override {
    CheckOpen();
    if (!reading_) throw Error(errnum::kBadFileMode, "Bad file mode: " + path_);
    return position_ >= text_.size();
  }

  std::string ReadAll() override {
    CheckOpen();
    if (!reading_) throw Error(errnum::kBadFileMode, "Bad file mode: " + path_);
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
    if (replacing_) {
      std::unique_ptr<ReplacingFile> replacing = std::move(replacing_);
      if (failure_) throw *failure_;  // the temporary file goes with `replacing`
      if (const std::error_code code = replacing->Commit()) throw ErrorFromSystem(code, path_);
      return;
    }
    if (failure_) throw *failure_;
  }

 private:
  void CheckOpen() const {
    if (closed_)
      throw Error(errnum::kBadFileMode, "Bad file mode: the stream of " + path_ + " is closed");
  }

  std::FILE* file_ = nullptr;  // a plain file written in place
  std::string path_;
  std::unique_ptr<ReplacingFile> replacing_;  // or, until closed, a file that takes path_'s place
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
  return std::make_unique<FileTextStream>(DecodeTextFile(ReadWholeFile(path).view()), path);
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

namespace {

// A ReplacingFile for `path`, opened; throws Error 70 when a folder stands at `path` and Error 76
// when its folder does not exist.
std::unique_ptr<ReplacingFile> OpenReplacing(const std::string& path) {
  auto file = std::make_unique<ReplacingFile>(path);
  if (const std::error_code code = file->Open()) {
    if (code == std::errc::is_a_directory) {
      throw Error(errnum::kPermissionDenied, "Permission denied: " + path);
    }
    if (code == std::errc::no_such_file_or_directory) {
      throw Error(errnum::kPathNotFound, "Path not found: " + path);
    }
    throw ErrorFromSystem(code, path);
  }
  return file;
}

}  // namespace

std::unique_ptr<TextStream> FileSystemObject::CreateReplacingTextFile(const std::string& path) {
  return std::make_unique<FileTextStream>(OpenReplacing(path));
}

void FileSystemObject::WriteFileReplacing(const std::string& path, std::string_view bytes) {
  std::unique_ptr<ReplacingFile> file = OpenReplacing(path);
  std::error_code code = file->Write(bytes);
  if (!code) code = file->Commit();
  if (code) throw ErrorFromSystem(code, path);
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

std::string DecodeTextFile(std::string_view bytes) {
  if (utf8::IsValid(bytes)) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    return std::string(bytes);
  }
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (const char c : bytes) utf8::Append(out, FromWindows1252(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace lorva
