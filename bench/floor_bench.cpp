// The floor for an archive run: the least work that yields the same files. It reads every .msg
// file of a folder (its bytes only, no parsing) and writes the files of a run's output, the same
// bytes, each through a temporary file beside it and a rename, as the program writes its pages.
//
//   floor_bench --pack OUTPUT PACK       gathers the files of a run's output folder into PACK
//   floor_bench FOLDER PACK DEST         the floor: reads FOLDER's .msg files, writes PACK's files
//                                        into DEST
//
// PACK is mapped into memory at the start, so that the floor spends nothing on finding what to
// write. The files are written interleaved with the reading, one after each .msg file, the rest at
// the end. Time it against the program's batch mode over the same store, for example with
// `/usr/bin/time -v`, in turn and writing into the same DEST as the program: the file system's
// cost of creating files differs from folder to folder (where it stands on the disk, how many
// files were lately deleted near it) by more than the program's own work. Delete nothing large
// during the timing.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/files.h"

namespace fs = std::filesystem;

namespace {

// The whole file; exits when it cannot be read.
lorva::FileBytes ReadWhole(const std::string& path) {
  lorva::FileBytes bytes;
  if (const std::error_code code = lorva::ReadWholeFile(path, bytes)) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), code.message().c_str());
    std::exit(1);
  }
  return bytes;
}

// Writes `bytes` to a temporary file beside `path` and renames it over `path`; exits when it
// cannot.
void WriteReplacing(const std::string& path, std::string_view bytes) {
  if (const std::error_code code = lorva::ReplaceFile(path, bytes)) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), code.message().c_str());
    std::exit(1);
  }
}

// PACK: per file, its relative path, a NUL, its size in decimal, a NUL, its bytes.
int Pack(const fs::path& output, const std::string& packPath) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(output)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::string pack;
  for (const fs::path& file : files) {
    const lorva::FileBytes bytes = ReadWhole(file.string());
    pack += fs::relative(file, output).string();
    pack += '\0';
    pack += std::to_string(bytes.size());
    pack += '\0';
    pack += bytes.view();
  }
  WriteReplacing(packPath, pack);
  std::printf("%zu files, %zu bytes\n", files.size(), pack.size());
  return 0;
}

struct PackedFile {
  std::string path;
  std::string_view bytes;
};

int Floor(const fs::path& folder, const std::string& packPath, const std::string& destination) {
  // Mapped rather than read: the floor pays only for the pages of the files it writes.
  const int packFd = ::open(packPath.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat packInfo {};
  if (packFd < 0 || ::fstat(packFd, &packInfo) != 0) {
    std::perror(packPath.c_str());
    return 1;
  }
  const std::size_t packSize = static_cast<std::size_t>(packInfo.st_size);
  void* mapped = ::mmap(nullptr, packSize, PROT_READ, MAP_PRIVATE, packFd, 0);
  if (mapped == MAP_FAILED) {
    std::perror(packPath.c_str());
    return 1;
  }
  const std::string_view pack(static_cast<const char*>(mapped), packSize);
  std::vector<PackedFile> files;
  for (std::size_t at = 0; at < pack.size();) {
    const std::size_t nameEnd = pack.find('\0', at);
    const std::size_t sizeEnd = pack.find('\0', nameEnd + 1);
    const std::size_t size =
        std::stoul(std::string(pack.substr(nameEnd + 1, sizeEnd - nameEnd - 1)));
    files.push_back({destination + "/" + std::string(pack.substr(at, nameEnd - at)),
                     pack.substr(sizeEnd + 1, size)});
    at = sizeEnd + 1 + size;
  }
  // The folders the files lie in, made once.
  for (const PackedFile& file : files) {
    fs::create_directories(fs::path(file.path).parent_path());
  }

  std::vector<std::string> items;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == ".msg") items.push_back(entry.path().string());
  }
  std::sort(items.begin(), items.end());

  std::size_t written = 0;
  std::uintmax_t read = 0;
  for (const std::string& item : items) {
    read += ReadWhole(item).size();
    if (written < files.size()) {
      WriteReplacing(files[written].path, files[written].bytes);
      ++written;
    }
  }
  for (; written < files.size(); ++written) {
    WriteReplacing(files[written].path, files[written].bytes);
  }
  std::printf("read %zu items (%ju bytes), wrote %zu files\n", items.size(), read, files.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--pack") == 0) return Pack(argv[2], argv[3]);
  if (argc == 4) return Floor(argv[1], argv[2], argv[3]);
  std::fprintf(stderr,
               "usage: floor_bench --pack OUTPUT PACK\n"
               "       floor_bench FOLDER PACK DEST\n");
  return 64;
}
