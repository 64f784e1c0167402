#include "support/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
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

// The error of a file that could not take the place of `path`: a folder standing there is never
// replaced (Error 70).
Error ReplacingError(const std::error_code& code, const std::string& path) {
  if (code == std::errc::is_a_directory) {
    return Error(errnum::kPermissionDenied, "Permission denied: " + path);
  }
  return ErrorFromSystem(code, path);
}

// A ReplacingFile for `path`, opened; throws Error 76 when its folder does not exist.
std::unique_ptr<ReplacingFile> OpenReplacing(const std::string& path) {
  auto file = std::make_unique<ReplacingFile>(path);
  if (const std::error_code code = file->Open()) {
    if (code == std::errc::no_such_file_or_directory) {
      throw Error(errnum::kPathNotFound, "Path not found: " + path);
    }
    throw ErrorFromSystem(code, path);
  }
  return file;
}

class FileTextStream : public TextStream {
 public:
  // A stream that writes to `fd` (owned) at `path`.
  FileTextStream(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  // A stream that writes to a temporary file and renames it over its place when closed.
  explicit FileTextStream(std::unique_ptr<ReplacingFile> replacing)
      : fd_(replacing->fd()), path_(replacing->path()), replacing_(std::move(replacing)) {}
  // A stream that reads `text`.
  explicit FileTextStream(std::string text, std::string path)
      : path_(std::move(path)), text_(std::move(text)), reading_(true) {}
  // A stream in place of its file closes as Close does; a temporary file is dropped (with
  // `replacing_`).
  ~FileTextStream() override {
    if (fd_ >= 0 && !replacing_) {
      WriteAll(fd_, pending_);
      ::close(fd_);
    }
  }

  // The text is kept until a good amount has gathered, or until Close; a long text written when
  // nothing is kept goes to the file at once. Either way a page goes to the file in one write.
  void Write(const std::string& text) override {
    CheckWritable();
    if (GoesAsItStands(text)) {
      encoder_.TakeUnchanged(text);
      WriteOut(text);
      return;
    }
    encoder_.EncodeAppending(text, pending_);
    if (pending_.size() >= kWriteAt) Flush();
  }

  void WriteTaking(std::string&& text) override {
    CheckWritable();
    if (!GoesAsItStands(text)) {
      Write(text);
      return;
    }
    WriteOut(text);  // a page in one piece: kept by the encoder, not copied
    encoder_.TakeUnchanged(std::move(text));
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
    if (fd_ >= 0) {
      try {
        Flush();
      } catch (const Error&) {
        // kept in failure_
      }
    }
    if (replacing_) {
      fd_ = -1;  // the replacing file's own
      std::unique_ptr<ReplacingFile> replacing = std::move(replacing_);
      if (failure_) throw *failure_;  // the temporary file goes with `replacing`
      if (const std::error_code code = replacing->Commit()) throw ReplacingError(code, path_);
      return;
    }
    if (fd_ >= 0 && ::close(std::exchange(fd_, -1)) != 0 && !failure_) {
      failure_ = SystemError(errno, path_);
    }
    if (failure_) throw *failure_;
  }

 private:
  static constexpr std::size_t kWriteAt = 64 * 1024;
  // A text at least this long, written when nothing is kept, goes to the file at once.
  static constexpr std::size_t kWriteAsItStandsAt = 4 * 1024;

  void CheckWritable() const {
    CheckOpen();
    if (reading_) throw Error(errnum::kBadFileMode, "Bad file mode: " + path_);
  }

  // Whether `text` goes to the file at once, as it stands: a long text of ASCII (a page in one
  // piece) written when nothing is kept.
  bool GoesAsItStands(const std::string& text) const {
    return pending_.empty() && text.size() >= kWriteAsItStandsAt &&
           HtmlAsciiEncoder::Unchanged(text);
  }

  void CheckOpen() const {
    if (closed_) {
      throw Error(errnum::kBadFileMode, "Bad file mode: the stream of " + path_ + " is closed");
    }
  }

  // Writes the text kept; a failure is kept for Close and thrown.
  void Flush() {
    const std::error_code code = WriteAll(fd_, pending_);
    pending_.clear();
    KeepFailure(code);
  }

  // Writes `bytes` at once; a failure is kept for Close and thrown.
  void WriteOut(std::string_view bytes) { KeepFailure(WriteAll(fd_, bytes)); }

  void KeepFailure(std::error_code code) {
    if (code) {
      Error failure = ErrorFromSystem(code, path_);
      if (!failure_) failure_ = failure;
      throw failure;
    }
  }

  int fd_ = -1;  // the file written: a plain file in place, or replacing_'s temporary file
  std::string path_;
  std::unique_ptr<ReplacingFile> replacing_;  // until closed, a file that takes path_'s place
  std::string pending_;                       // written text not yet in the file
  std::string text_;
  std::size_t position_ = 0;
  bool reading_ = false;
  bool closed_ = false;
  std::optional<Error> failure_;  // the first failed write
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
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == ENOENT) throw Error(errnum::kPathNotFound, "Path not found: " + path);
    throw SystemError(errno, path);
  }
  return std::make_unique<FileTextStream>(fd, path);
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

std::unique_ptr<TextStream> FileSystemObject::CreateReplacingTextFile(const std::string& path) {
  return std::make_unique<FileTextStream>(OpenReplacing(path));
}

void FileSystemObject::WriteFileReplacing(const std::string& path, std::string_view bytes) {
  std::unique_ptr<ReplacingFile> file = OpenReplacing(path);
  std::error_code code = file->Write(bytes);
  if (!code) code = file->Commit();
  if (code) throw ReplacingError(code, path);
}

namespace {

// The length of the run of ASCII characters other than "<" that starts at `pos`: text that
// changes nothing in ordinary text, nor in the text of a style or script element before its end
// tag begins. Eight bytes at a time while none of them is "<" or beyond ASCII.
std::size_t QuietRun(std::string_view text, std::size_t pos) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHighBits = 0x8080808080808080u;
  std::size_t end = pos;
  for (; end + 8 <= text.size(); end += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + end, sizeof word);
    const std::uint64_t lessThan = word ^ (kOnes * '<');  // a zero byte where "<" stands
    if (((word | ((lessThan - kOnes) & ~lessThan)) & kHighBits) != 0) break;
  }
  while (end < text.size() && text[end] != '<' && static_cast<unsigned char>(text[end]) < 0x80) {
    ++end;
  }
  return end - pos;
}

// Where the ASCII text at the end of `text` begins (0 when all of it is ASCII). Thirty-two bytes
// at a time.
std::size_t AsciiTail(std::string_view text) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080u;
  std::size_t begin = text.size();
  // Four words of their own, each loaded as it stands (read as one array, they went through the
  // stack and each load waited on the store before it).
  const auto word = [&](std::size_t at) {
    std::uint64_t value;
    std::memcpy(&value, text.data() + at, sizeof value);
    return value;
  };
  for (; begin >= 32; begin -= 32) {
    const std::size_t at = begin - 32;
    if (((word(at) | word(at + 8) | word(at + 16) | word(at + 24)) & kHighBits) != 0) break;
  }
  while (begin > 0 && static_cast<unsigned char>(text[begin - 1]) < 0x80) --begin;
  return begin;
}

}  // namespace

bool HtmlAsciiEncoder::Unchanged(std::string_view utf8) {
  return AsciiTail(utf8) == 0;
}

void HtmlAsciiEncoder::TakeUnchanged(std::string&& utf8) {
  if (deferred_.empty() && utf8.size() <= kDeferredAtMost) {
    deferred_ = std::move(utf8);
  } else {
    Defer(utf8);
  }
}

std::string HtmlAsciiEncoder::Encode(std::string_view utf8) {
  std::string out;
  EncodeAppending(utf8, out);
  return out;
}

void HtmlAsciiEncoder::EncodeAppending(std::string_view utf8, std::string& out) {
  const std::size_t ascii = AsciiTail(utf8);  // where the ASCII text at the end begins
  if (ascii == 0) {
    Defer(utf8);
    out.append(utf8);
    return;
  }
  if (!deferred_.empty()) {
    EncodeFollowing(deferred_);
    deferred_.clear();
  }
  out += EncodeFollowing(utf8.substr(0, ascii));
  Defer(utf8.substr(ascii));
  out.append(utf8, ascii, std::string_view::npos);
}

void HtmlAsciiEncoder::Defer(std::string_view ascii) {
  if (deferred_.size() + ascii.size() > kDeferredAtMost) {
    EncodeFollowing(deferred_);
    deferred_.clear();
    if (ascii.size() > kDeferredAtMost) {
      EncodeFollowing(ascii);
      return;
    }
  }
  deferred_.append(ascii);
}

std::string HtmlAsciiEncoder::EncodeFollowing(std::string_view utf8) {
  // ASCII is written as it stands: `out` takes the text in runs, up to each character beyond
  // ASCII, which it takes as its reference or escape.
  std::string out;
  std::size_t copied = 0;
  for (std::size_t pos = 0; pos < utf8.size();) {
    if (state_ == State::kData || (state_ == State::kRawText && endMatched_ == 0)) {
      pos += QuietRun(utf8, pos);
      if (pos == utf8.size()) break;
    }
    if (state_ == State::kInTag) {  // only quotes and the tag's end matter
      while (pos < utf8.size() && static_cast<unsigned char>(utf8[pos]) < 0x80) {
        InTag(utf8[pos++]);
        if (state_ != State::kInTag) break;
      }
      if (pos == utf8.size()) break;
      if (state_ != State::kInTag) continue;
    }
    const unsigned char lead = static_cast<unsigned char>(utf8[pos]);
    if (lead < 0x80) {
      Markup(static_cast<char>(lead));
      ++pos;
      continue;
    }
    if (out.empty()) out.reserve(utf8.size() + utf8.size() / 8);
    out.append(utf8, copied, pos - copied);
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
    copied = pos;
  }
  if (copied == 0) return std::string(utf8);
  out.append(utf8, copied, std::string_view::npos);
  return out;
}

void HtmlAsciiEncoder::Markup(char c) {
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
      InTag(c);
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

void HtmlAsciiEncoder::InTag(char c) {
  if (quote_ != 0) {
    if (c == quote_) quote_ = 0;
  } else if (c == '"' || c == '\'') {
    quote_ = c;
  } else if (c == '>') {
    EndOfTag();
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
