// The program-wide file service (the scripting runtime's FileSystemObject and TextStream), over
// std::filesystem. Failures throw lorva::Error with the numbers of support/error.h.
//
// Text files are written as ASCII bytes: every character beyond ASCII in the UTF-8 text handed
// to Write becomes a numeric character reference ("&#233;"), so HTML written this way reads the
// same whatever encoding a browser assumes. Text files are read as UTF-8, or as windows-1252
// when they are not valid UTF-8, and handed out as UTF-8.
//
// The members are virtual so that tests can make single operations fail.
#pragma once

#include <memory>
#include <string>

namespace lorva {

class TextStream {
 public:
  virtual ~TextStream() = default;
  // Appends `text` unchanged (no line break added).
  virtual void Write(const std::string& text) = 0;
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
};

// Converts UTF-8 text to the 8-bit form written to text files: ASCII stays, every other
// character becomes "&#N;" with N its code point in decimal. Invalid UTF-8 bytes are taken as
// windows-1252.
std::string ToAsciiWithReferences(const std::string& utf8);

// Decodes file bytes: UTF-8 when valid (a byte-order mark is dropped), else windows-1252.
std::string DecodeTextFile(const std::string& bytes);

}  // namespace lorva
