// Compound File Binary containers (the OLE structured storage that .msg files are made of): a
// reader over the bytes of a file and a writer that builds one.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lorva::mailstore {

// Reads a compound file held in memory. The bytes must outlive the reader: streams are handed out
// as views into them where possible. Every input is untrusted: the constructor and the stream
// reads throw lorva::Error (errnum::kBadFileFormat) on a malformed file (bad header, truncation,
// loops in sector or directory chains, sector numbers out of range, sizes beyond the file). The
// bytes the reads of a reader's distinct streams hand out are limited to a small multiple of the
// file's size (streams of a hostile file may share sectors), so callers' memory stays bounded
// too; reading a stream again is not counted twice.
class CfbReader {
 public:
  enum class EntryType : std::uint8_t { kEmpty = 0, kStorage = 1, kStream = 2, kRoot = 5 };

  // One directory entry. Its name and children are views into the reader, valid while it lives.
  struct Entry {
    std::string_view name;  // UTF-8
    EntryType type = EntryType::kEmpty;
    std::uint32_t startSector = 0;
    std::uint64_t size = 0;
    std::span<const std::uint32_t> children;  // storages: the child entries, in name order
  };

  static constexpr std::uint32_t kRootEntry = 0;

  explicit CfbReader(std::span<const std::uint8_t> file);
  CfbReader(const CfbReader&) = delete;  // entries and the mini stream view the reader's own data
  CfbReader& operator=(const CfbReader&) = delete;

  const Entry& entry(std::uint32_t id) const { return entries_[id]; }
  bool IsStorage(std::uint32_t id) const {
    return entries_[id].type == EntryType::kStorage || entries_[id].type == EntryType::kRoot;
  }
  bool IsStream(std::uint32_t id) const { return entries_[id].type == EntryType::kStream; }

  // The child of storage `storage` named `name` (UTF-8), letters compared without regard to
  // case as the format does (simple upper-casing of UTF-16 code units).
  std::optional<std::uint32_t> Find(std::uint32_t storage, std::string_view name) const;

  // The bytes of stream `id`: a view into the file when its sectors are consecutive, otherwise
  // gathered into `scratch` (which the view then points into).
  std::span<const std::uint8_t> Stream(std::uint32_t id, std::vector<std::uint8_t>& scratch) const;
  // The bytes of stream `id`, copied.
  std::vector<std::uint8_t> ReadStream(std::uint32_t id) const;

 private:
  std::span<const std::uint8_t> ReadChain(std::uint32_t start, std::uint64_t size, bool mini,
                                          std::vector<std::uint8_t>& scratch) const;
  void ChargeBudget(std::uint64_t bytes) const;
  std::uint32_t FatNext(std::uint32_t sector) const;
  void LoadFat();
  void LoadMiniFat(std::uint32_t first);
  void LoadDirectory(std::uint32_t first);

  std::span<const std::uint8_t> file_;
  std::uint32_t sectorShift_ = 9;
  std::uint32_t sectorSize_ = 512;
  std::uint64_t sectorCount_ = 0;  // sectors that start inside the file
  bool version4_ = false;
  std::vector<std::uint32_t> fat_;
  std::vector<std::uint32_t> miniFat_;
  std::vector<std::uint8_t> miniScratch_;
  std::span<const std::uint8_t> miniStream_;
  std::vector<Entry> entries_;
  std::string names_;                    // the entries' names, one after another
  std::vector<std::uint32_t> children_;  // each storage's children, one storage after another
  mutable std::vector<std::uint32_t> fatMarks_;   // chain walks: the walk that last met
  mutable std::vector<std::uint32_t> miniMarks_;  // each sector
  mutable std::uint32_t generation_ = 0;
  mutable std::uint64_t budget_ = 0;   // bytes that stream reads may still hand out
  mutable std::vector<bool> charged_;  // per entry: its size has been taken from the budget
};

// Builds a compound file (version 3, 512-byte sectors). Streams under 4096 bytes go into the
// mini stream, as the format requires; each storage's children form a red-black tree ordered by
// name length, then by upper-cased name.
class CfbWriter {
 public:
  static constexpr std::uint32_t kRoot = 0;

  CfbWriter();

  // Adds a storage named `name` (at most 31 UTF-16 units, unique within `parent` without regard
  // to case) below storage `parent`; returns its id. Throws lorva::Error (invalid procedure call)
  // on a bad name or parent.
  std::uint32_t AddStorage(std::uint32_t parent, std::string_view name);
  // Adds a stream below storage `parent`; the same rules for the name.
  void AddStream(std::uint32_t parent, std::string_view name, std::vector<std::uint8_t> data);

  // The file's bytes.
  std::vector<std::uint8_t> Finish() const;

 private:
  struct Node {
    std::u16string name;
    bool storage = true;
    std::vector<std::uint8_t> data;
    std::vector<std::uint32_t> children;
    std::set<std::u16string> childKeys;  // the children's upper-cased names
  };
  struct Plan;

  std::uint32_t Add(std::uint32_t parent, std::string_view name, bool storage);
  // The steps of Finish: where every sector goes, then the header, the allocation tables (DIFAT,
  // FAT and mini FAT), the streams' bytes and the directory, into `sectors` (the bytes after the
  // header, zero-filled).
  Plan MakePlan() const;
  static void WriteHeader(const Plan& plan, std::uint8_t* header);
  void WriteAllocation(const Plan& plan, std::uint8_t* sectors) const;
  void WriteStreams(const Plan& plan, std::uint8_t* sectors) const;
  void WriteDirectory(const Plan& plan, std::uint8_t* sectors) const;

  std::vector<Node> nodes_;
};

}  // namespace lorva::mailstore
