// The program-wide file service (the scripting runtime's FileSystemObject and TextStream), over
// std::filesystem. Failures throw lorva::Error with the numbers of base/error.h.
//
// Text files are HTML written as ASCII bytes: every character beyond ASCII in the UTF-8 text
// handed to Write becomes a numeric character reference ("&#233;"), or an escape of the style
// sheet or script language inside <style> and <script> (HtmlAsciiEncoder), so HTML written this
// way reads the same whatever encoding a browser assumes. Text files are read as UTF-8, or as
// windows-1252 when they are not valid UTF-8, and handed out as UTF-8.
//
// A file that takes the place of another (a page, index.htm, a support file) is written under a
// temporary name beside it and renamed into place once complete: its place holds the old file or
// the whole new one, never a part, and a symbolic link standing there is replaced, never written
// through.
//
// The members are virtual so that tests can make single operations fail.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace lorva {

class TextStream {
 public:
  virtual ~TextStream() = default;
  // Appends `text` unchanged (no line break added).
  virtual void Write(const std::string& text) = 0;
  // Write, for a caller that no longer needs `text`: the stream may keep it rather than a copy.
  virtual void WriteTaking(std::string&& text) { Write(text); }
  virtual bool AtEndOfStream() = 0;
  // The whole remaining text.
  virtual std::string ReadAll() = 0;
  // Flushes and closes; further calls throw. Destroying an open stream closes it too.
  virtual void Close() = 0;
};

class FileSystemObject {
 public:
  virtual ~FileSystemObject() = default;
  virtual bool FileExists(const std::string& path);
  virtual bool FolderExists(const std::string& path);
  // Creates the folder; its parent must exist. Throws when it exists already or cannot be made.
  virtual void CreateFolder(const std::string& path);
  // A new, empty text file open for writing. With `overwrite` false an existing file throws
  // Error 58. `unicode` must be false (the program writes 8-bit text only).
  virtual std::unique_ptr<TextStream> CreateTextFile(const std::string& path, bool overwrite,
                                                     bool unicode);
  // Opens an existing text file for reading (mode 1). Throws Error 53 when it does not exist.
  virtual std::unique_ptr<TextStream> OpenTextFile(const std::string& path, int mode, bool create,
                                                   int format);
  // Deletes the file. Without `force` a read-only file is not deleted (Error 70).
  virtual void DeleteFile(const std::string& path, bool force);
  // Renames the file `from` to `to` in one step, replacing a file at `to` (read-only or not).
  // Both paths must lie on the same file system (the same folder, as the page writer uses it).
  virtual void RenameFile(const std::string& from, const std::string& to);

  // A new, empty text file that takes the place of `path` when the stream is closed: until then
  // `path` keeps what it held (a file, read-only or not, or a symbolic link, which is replaced
  // and not followed). A stream that is destroyed without Close, or one of whose writes failed,
  // leaves `path` as it was and removes its temporary file; Close then throws the first failure.
  // A folder standing at `path` is never replaced: Close throws Error 70. Throws when the
  // temporary file cannot be made (Error 76 "Path not found" for a missing folder).
  virtual std::unique_ptr<TextStream> CreateReplacingTextFile(const std::string& path);
  // Writes `bytes` as they are to a temporary file and renames it over `path`, as above (Error 70
  // when a folder stands at `path`).
  virtual void WriteFileReplacing(const std::string& path, std::string_view bytes);
};

// Converts the UTF-8 text of an HTML file, handed over in pieces, into the ASCII bytes written.
// Every character beyond ASCII becomes a numeric character reference ("&#233;"), except inside
// <style> and <script> elements, where references are not decoded: there it becomes a CSS escape
// ("\E9 ", the blank ends the escape) or a JavaScript escape ("\u00E9"; a surrogate pair such as
// "\uD83D\uDE00" beyond U+FFFF). Invalid UTF-8 bytes are taken as windows-1252. The encoder
// keeps its place in the markup (inside a tag, a comment, a style or script element) from one
// piece to the next. ASCII text is written as it stands, and the markup is followed only as far
// as a character beyond ASCII needs it: ASCII text after the last such character is kept (up to
// a bound) and followed only when a later piece brings one, so a page of ASCII written in one
// piece is never followed at all.
class HtmlAsciiEncoder {
 public:
  std::string Encode(std::string_view utf8);
  // Encode, appending the bytes to `out`.
  void EncodeAppending(std::string_view utf8, std::string& out);
  // Whether Encode gives `utf8` back as it stands: it is all ASCII.
  static bool Unchanged(std::string_view utf8);
  // Takes `utf8`, which must be Unchanged, as Encode would, without handing back a copy.
  void TakeUnchanged(std::string_view utf8) { Defer(utf8); }
  // The same for a text handed over: the text itself is kept when nothing is kept yet.
  void TakeUnchanged(std::string&& utf8);

 private:
  enum class State { kData, kTagOpen, kTagName, kInTag, kBang, kComment, kRawText };
  enum class Raw { kNone, kStyle, kScript };

  // Encode, following the markup over the whole of `utf8`.
  std::string EncodeFollowing(std::string_view utf8);
  // ASCII text kept to be followed when needed, at most; beyond, it is followed at once.
  static constexpr std::size_t kDeferredAtMost = 64 * 1024;

  // Keeps ASCII text to be followed when needed; follows it at once beyond the bound.
  void Defer(std::string_view ascii);

  // Follows the markup over the ASCII character `c`.
  void Markup(char c);
  // Follows the markup over the ASCII character `c` inside a tag, where only quotes and the tag's
  // end count.
  void InTag(char c);
  // The ">" of a tag: the text of a style or script element follows, or ordinary text.
  void EndOfTag();
  void Character(char32_t cp, std::string& out) const;

  State state_ = State::kData;
  Raw raw_ = Raw::kNone;        // the element whose text follows the tag being read, or is read
  std::string name_;            // the tag name read so far, lower case
  char quote_ = 0;              // the quote of an attribute value being read
  int dashes_ = 0;              // "-" just read in a comment or after "<!"
  std::size_t endMatched_ = 0;  // characters of "</style" or "</script" matched in raw text
  std::string deferred_;        // ASCII text written but not followed yet
};

// Converts a whole HTML text to the 8-bit form written to text files, through a new
// HtmlAsciiEncoder: ASCII stays, every other character becomes "&#N;" with N its code point in
// decimal (or an escape inside <style> and <script>).
std::string ToAsciiWithReferences(const std::string& utf8);

// Decodes file bytes: UTF-8 when valid (a byte-order mark is dropped), else windows-1252.
std::string DecodeTextFile(std::string_view bytes);

}  // namespace lorva
