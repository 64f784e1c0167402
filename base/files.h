// Files as wholes: reading one at once, writing one that takes the place of another through a
// temporary file beside it, and the folder the running program lies in. Failures come back as
// the system's error codes, so that each caller words them its own way.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace lorva {

// The bytes of a whole file, in a buffer that is not zero-filled before they are read into it.
class FileBytes {
 public:
  // A copy of `bytes`, held as a file's would be (for bytes that come from elsewhere).
  static FileBytes CopyOf(std::span<const std::uint8_t> bytes);

  std::span<const std::uint8_t> span() const { return {data_.get(), size_}; }
  std::string_view view() const { return {reinterpret_cast<const char*>(data_.get()), size_}; }
  std::size_t size() const { return size_; }

 private:
  friend std::error_code ReadWholeFile(const std::string& path, FileBytes& bytes);
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t size_ = 0;
};

// Reads the whole file at `path` into `bytes`: one stat, and one read for a file that does not
// change meanwhile (a file that grows meanwhile, or one that does not say its size, such as the
// files of /proc, is read to its end). Returns the error of the open or a read, else none; on an
// error `bytes` is left empty.
std::error_code ReadWholeFile(const std::string& path, FileBytes& bytes);
// As above; throws lorva::Error (ErrorFromSystem) naming `path` when the file cannot be read.
FileBytes ReadWholeFile(const std::string& path);

// A name for a temporary file beside `path` (in its folder): ".lorva-<process id>-<n>.tmp",
// unique within this process and short enough for any folder that can hold `path` itself.
std::string TemporaryPathBeside(const std::string& path);
// The process that made the temporary file named `name` (a file name without folder), or nothing
// when `name` is not one.
std::optional<pid_t> TemporaryFileOwner(std::string_view name);

// Writes `bytes` as the whole of the file at `path`, in place: the file is made, or emptied first
// (a link there is followed). Returns the error of the open, a write or the close, else none.
std::error_code WriteWholeFile(const std::string& path, std::string_view bytes);

// Whether a folder (not a link to one) stands at `path`.
bool FolderStandsAt(const std::string& path);

// What an entry of a folder is; a symbolic link is not followed.
enum class FolderEntryType { kFile, kFolder, kLink, kOther };

// Calls `visit(name, type)` for each entry of `folder` but "." and "..", in the order the file
// system lists them, the type looked up where the listing does not give it. `visit` may remove or
// rename the entry it is given. Returns the error of opening or reading the folder, else none.
// Cheaper than a std::filesystem walk: no path is built for an entry.
std::error_code ListFolder(const std::string& folder,
                           const std::function<void(std::string_view, FolderEntryType)>& visit);

// Writes the whole of `bytes` to `fd`, in as few writes as the system allows. Returns the error
// of the write that failed, else none.
std::error_code WriteAll(int fd, std::string_view bytes);

// A file written in place of another. Open makes a new file under a temporary name beside `path`
// (TemporaryPathBeside; never an existing file, never through a link); Commit renames it over
// `path`, which until then keeps what it held (a file, read-only or not, or a symbolic link,
// which is replaced and not followed). A folder standing at `path` is never replaced: Commit
// returns std::errc::is_a_directory. A file destroyed uncommitted, or whose Commit failed,
// removes its temporary file. Writes are not buffered: each Write goes to the file at once.
class ReplacingFile {
 public:
  explicit ReplacingFile(std::string path) : path_(std::move(path)) {}
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Makes the temporary file with permissions `mode` (less the process's umask). Returns the
  // error of the creation (std::errc::no_such_file_or_directory when `path`'s folder is missing).
  std::error_code Open(mode_t mode = 0666);
  // Appends `bytes`. Precondition: opened and not yet committed.
  std::error_code Write(std::string_view bytes) { return WriteAll(fd_, bytes); }
  // Closes the temporary file and renames it over `path`. With `durable`, the file and then the
  // rename are synchronised to the disk first. Precondition: opened, and not yet committed.
  std::error_code Commit(bool durable = false);

  const std::string& path() const { return path_; }
  // The temporary file's descriptor, for a caller that writes to it itself. Precondition: opened,
  // and not yet committed.
  int fd() const { return fd_; }

 private:
  std::string path_;
  std::string temporary_;  // while open: the temporary file's path
  int fd_ = -1;
};

// Writes `bytes` to `path` through a ReplacingFile (not durable).
std::error_code ReplaceFile(const std::string& path, std::string_view bytes);

// The folder the running program lies in; "" when the system does not say.
std::string ProgramFolder();

}  // namespace lorva
