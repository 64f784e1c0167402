#include "platform/mailstore/cfb.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <memory_resource>
#include <vector>

#include "base/bytes.h"
#include "base/error.h"
#include "base/text_rules.h"
#include "platform/mailstore/code_page.h"

namespace lorva::mailstore {
namespace {

constexpr std::uint32_t kMaxRegSect = 0xFFFFFFFA;
constexpr std::uint32_t kDifSect = 0xFFFFFFFC;
constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSect = 0xFFFFFFFF;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::uint32_t kMiniSectorSize = 64;
constexpr std::uint32_t kMiniStreamCutoff = 4096;
constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint16_t kByteOrderMark = 0xFFFE;
constexpr std::uint16_t kMiniSectorShift = 6;
constexpr std::uint32_t kHeaderFatEntries = 109;  // FAT sector numbers the header holds itself

// Where the header's fields lie.
namespace header {
constexpr std::size_t kSignature = 0x00;
constexpr std::size_t kMinorVersion = 0x18;
constexpr std::size_t kMajorVersion = 0x1A;
constexpr std::size_t kByteOrder = 0x1C;
constexpr std::size_t kSectorShift = 0x1E;
constexpr std::size_t kMiniSectorShift = 0x20;
constexpr std::size_t kFatSectorCount = 0x2C;
constexpr std::size_t kFirstDirectorySector = 0x30;
constexpr std::size_t kMiniStreamCutoff = 0x38;
constexpr std::size_t kFirstMiniFatSector = 0x3C;
constexpr std::size_t kMiniFatSectorCount = 0x40;
constexpr std::size_t kFirstDifatSector = 0x44;
constexpr std::size_t kDifatSectorCount = 0x48;
constexpr std::size_t kFatSectors = 0x4C;  // the first kHeaderFatEntries FAT sector numbers
}  // namespace header

// A directory entry: its size, and where its fields lie.
namespace entry {
constexpr std::size_t kSize = 128;
constexpr std::size_t kName = 0x00;        // UTF-16LE, at most 31 units and a terminating zero
constexpr std::size_t kNameLength = 0x40;  // in bytes, the terminating zero counted
constexpr std::size_t kType = 0x42;
constexpr std::size_t kColour = 0x43;  // 0 red, 1 black
constexpr std::size_t kLeftSibling = 0x44;
constexpr std::size_t kRightSibling = 0x48;
constexpr std::size_t kChild = 0x4C;
constexpr std::size_t kStartSector = 0x74;
constexpr std::size_t kStreamSize = 0x78;      // the low 32 bits
constexpr std::size_t kStreamSizeHigh = 0x7C;  // the high 32 bits (version 4 files only)
}  // namespace entry

[[noreturn]] void Bad(const std::string& what) {
  throw Error(errnum::kBadFileFormat, "Malformed compound file: " + what);
}

char16_t Upper(char16_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? static_cast<char16_t>(c - 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  const UChar32 u = u_toupper(c);
  return u <= 0xFFFF ? static_cast<char16_t>(u) : c;
}

// The order of siblings: shorter names first, then by upper-cased UTF-16 code units.
int CompareNames(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = 0; i < a.size(); ++i) {
    const char16_t x = Upper(a[i]);
    const char16_t y = Upper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

}  // namespace

// ---- Reader ----

CfbReader::CfbReader(std::span<const std::uint8_t> file) : file_(file) {
  if (file.size() < 512) Bad("the file is shorter than a compound file header");
  const std::uint8_t* h = file.data();
  if (std::memcmp(h + header::kSignature, kSignature, 8) != 0) Bad("no compound file signature");
  if (ReadLe16(h + header::kByteOrder) != kByteOrderMark) Bad("bad byte order mark");
  const std::uint16_t major = ReadLe16(h + header::kMajorVersion);
  sectorShift_ = ReadLe16(h + header::kSectorShift);
  if (major == 3 && sectorShift_ == 9) {
    version4_ = false;
  } else if (major == 4 && sectorShift_ == 12) {
    version4_ = true;
  } else {
    Bad("unsupported version " + std::to_string(major) + " with sector shift " +
        std::to_string(sectorShift_));
  }
  if (ReadLe16(h + header::kMiniSectorShift) != kMiniSectorShift) Bad("bad mini sector shift");
  if (ReadLe32(h + header::kMiniStreamCutoff) != kMiniStreamCutoff) Bad("bad mini stream cutoff");
  sectorSize_ = 1u << sectorShift_;
  if (file.size() <= sectorSize_) Bad("the file holds no sector after its header");
  sectorCount_ = (file.size() - sectorSize_ + sectorSize_ - 1) / sectorSize_;
  budget_ = 8 * static_cast<std::uint64_t>(file.size()) + (16u << 20);

  LoadFat();
  LoadDirectory(ReadLe32(h + header::kFirstDirectorySector));
  LoadMiniFat(ReadLe32(h + header::kFirstMiniFatSector));
  charged_.assign(entries_.size(), false);

  // The mini stream: the root entry's data, in ordinary sectors.
  const Entry& root = entries_[kRootEntry];
  if (root.size > 0) {
    ChargeBudget(root.size);
    miniStream_ = ReadChain(root.startSector, root.size, false, miniScratch_);
  }
}

void CfbReader::ChargeBudget(std::uint64_t bytes) const {
  if (bytes > budget_) Bad("streams read over and over (far more data than the file holds)");
  budget_ -= bytes;
}

void CfbReader::LoadFat() {
  const std::uint8_t* h = file_.data();
  const std::uint32_t fatCount = ReadLe32(h + header::kFatSectorCount);
  if (fatCount == 0) Bad("no FAT sector");
  if (fatCount > sectorCount_) Bad("FAT sector count larger than the file");
  const std::uint32_t perSector = sectorSize_ / 4;
  // The numbers of the FAT's sectors, on the stack for all but very large files.
  alignas(std::uint32_t) std::byte arena[kHeaderFatEntries * sizeof(std::uint32_t) + 64];
  std::pmr::monotonic_buffer_resource scratch(arena, sizeof arena);
  std::pmr::vector<std::uint32_t> fatSectors(&scratch);
  fatSectors.reserve(fatCount);
  for (std::uint32_t i = 0; i < kHeaderFatEntries && fatSectors.size() < fatCount; ++i) {
    fatSectors.push_back(ReadLe32(h + header::kFatSectors + 4 * i));
  }
  std::uint32_t difat = ReadLe32(h + header::kFirstDifatSector);
  std::uint64_t difatSteps = 0;
  while (fatSectors.size() < fatCount) {
    if (difat >= sectorCount_) Bad("DIFAT sector number out of range");
    if (++difatSteps > sectorCount_) Bad("loop in the DIFAT chain");
    const std::uint64_t offset = (static_cast<std::uint64_t>(difat) + 1) << sectorShift_;
    if (offset + sectorSize_ > file_.size()) Bad("truncated DIFAT sector");
    const std::uint8_t* p = file_.data() + offset;
    for (std::uint32_t i = 0; i + 1 < perSector && fatSectors.size() < fatCount; ++i) {
      fatSectors.push_back(ReadLe32(p + 4 * i));
    }
    difat = ReadLe32(p + 4 * (perSector - 1));
  }
  fat_.resize(static_cast<size_t>(fatCount) * perSector);
  for (std::uint32_t i = 0; i < fatCount; ++i) {
    const std::uint32_t s = fatSectors[i];
    if (s >= sectorCount_) Bad("FAT sector number out of range");
    const std::uint64_t offset = (static_cast<std::uint64_t>(s) + 1) << sectorShift_;
    if (offset + sectorSize_ > file_.size()) Bad("truncated FAT sector");
    const std::uint8_t* p = file_.data() + offset;
    for (std::uint32_t k = 0; k < perSector; ++k) fat_[i * perSector + k] = ReadLe32(p + 4 * k);
  }
}

std::uint32_t CfbReader::FatNext(std::uint32_t sector) const {
  if (sector >= fat_.size()) Bad("sector number beyond the FAT");
  return fat_[sector];
}

void CfbReader::LoadMiniFat(std::uint32_t first) {
  const std::uint32_t perSector = sectorSize_ / 4;
  std::uint32_t s = first;
  std::uint64_t steps = 0;
  while (s != kEndOfChain && s != kFreeSect) {
    if (s >= sectorCount_) Bad("mini FAT sector number out of range");
    if (++steps > sectorCount_) Bad("loop in the mini FAT chain");
    const std::uint64_t offset = (static_cast<std::uint64_t>(s) + 1) << sectorShift_;
    if (offset + sectorSize_ > file_.size()) Bad("truncated mini FAT sector");
    const std::uint8_t* p = file_.data() + offset;
    const std::size_t at = miniFat_.size();
    miniFat_.resize(at + perSector);  // a sector's worth at once
    for (std::uint32_t k = 0; k < perSector; ++k) miniFat_[at + k] = ReadLe32(p + 4 * k);
    s = FatNext(s);
  }
}

void CfbReader::LoadDirectory(std::uint32_t first) {
  // The walk's own lists are held in a buffer on the stack; a large directory's go to the heap.
  alignas(std::max_align_t) std::byte arena[4096];
  std::pmr::monotonic_buffer_resource scratch(arena, sizeof arena);
  // The directory's sectors.
  std::pmr::vector<const std::uint8_t*> raw(&scratch);
  raw.reserve(32);  // a message's directory is a few sectors
  std::uint32_t s = first;
  std::uint64_t steps = 0;
  const std::uint32_t perSector = sectorSize_ / entry::kSize;
  while (s != kEndOfChain) {
    if (s >= sectorCount_) Bad("directory sector number out of range");
    if (++steps > sectorCount_) Bad("loop in the directory chain");
    const std::uint64_t offset = (static_cast<std::uint64_t>(s) + 1) << sectorShift_;
    if (offset + sectorSize_ > file_.size()) Bad("truncated directory sector");
    const std::size_t at = raw.size();
    raw.resize(at + perSector);  // a sector's worth at once
    for (std::uint32_t k = 0; k < perSector; ++k)
      raw[at + k] = file_.data() + offset + entry::kSize * k;
    s = FatNext(s);
  }
  if (raw.empty()) Bad("empty directory");
  entries_.resize(raw.size());
  std::pmr::vector<bool> seen(raw.size(), false, &scratch);
  // Where each name stands in names_, which may still grow while the entries are read.
  std::pmr::vector<std::pair<std::uint32_t, std::uint32_t>> nameAt(raw.size(), &scratch);
  // Every entry is the child of one storage at most: children_ never grows past this.
  children_.reserve(raw.size());
  names_.reserve(raw.size() * 24);  // most names are about twenty characters

  auto parse = [&](std::uint32_t id) {
    const std::uint8_t* p = raw[id];
    Entry& e = entries_[id];
    const std::uint8_t type = p[entry::kType];
    if (type != 0 && type != 1 && type != 2 && type != 5) {
      Bad("directory entry " + std::to_string(id) + " has unknown type " + std::to_string(type));
    }
    e.type = static_cast<EntryType>(type);
    const std::uint16_t nameBytes = ReadLe16(p + entry::kNameLength);
    if (e.type != EntryType::kEmpty) {
      if (nameBytes > 64 || nameBytes % 2 != 0) {
        Bad("directory entry " + std::to_string(id) + " has a bad name length");
      }
      size_t units = nameBytes / 2;
      const std::uint8_t* name = p + entry::kName;
      while (units > 0 && name[2 * (units - 1)] == 0 && name[2 * (units - 1) + 1] == 0) --units;
      const std::size_t start = names_.size();
      AppendUtf16LeAsUtf8(names_, {name, units * 2});
      nameAt[id] = {static_cast<std::uint32_t>(start),
                    static_cast<std::uint32_t>(names_.size() - start)};
    }
    e.startSector = ReadLe32(p + entry::kStartSector);
    e.size = ReadLe32(p + entry::kStreamSize);
    if (version4_) e.size |= static_cast<std::uint64_t>(ReadLe32(p + entry::kStreamSizeHigh)) << 32;
  };

  parse(kRootEntry);
  seen[kRootEntry] = true;
  if (entries_[kRootEntry].type != EntryType::kRoot) Bad("the first directory entry is no root");

  // Each storage's sibling tree, walked in order with an explicit stack; every entry may be
  // reached once only, so a loop in the tree is an error and the walk is linear.
  std::pmr::vector<std::uint32_t> storages({kRootEntry}, &scratch);
  std::pmr::vector<std::uint32_t> stack(&scratch);
  while (!storages.empty()) {
    const std::uint32_t storage = storages.back();
    storages.pop_back();
    const std::size_t firstChild = children_.size();
    std::uint32_t node = ReadLe32(raw[storage] + entry::kChild);
    auto visit = [&](std::uint32_t id) {
      if (id == kNoStream) return false;
      if (id >= raw.size()) Bad("directory entry number out of range");
      if (seen[id]) Bad("loop in the directory tree");
      seen[id] = true;
      parse(id);
      return true;
    };
    if (!visit(node)) continue;
    stack.clear();
    while (node != kNoStream || !stack.empty()) {
      while (node != kNoStream) {
        stack.push_back(node);
        const std::uint32_t left = ReadLe32(raw[node] + entry::kLeftSibling);
        node = visit(left) ? left : kNoStream;
      }
      node = stack.back();
      stack.pop_back();
      if (entries_[node].type != EntryType::kEmpty) children_.push_back(node);
      if (entries_[node].type == EntryType::kStorage) storages.push_back(node);
      const std::uint32_t right = ReadLe32(raw[node] + entry::kRightSibling);
      node = visit(right) ? right : kNoStream;
    }
    entries_[storage].children = std::span<const std::uint32_t>(children_).subspan(
        firstChild, children_.size() - firstChild);
  }
  for (std::size_t id = 0; id < entries_.size(); ++id) {
    entries_[id].name = std::string_view(names_).substr(nameAt[id].first, nameAt[id].second);
  }
}

std::span<const std::uint8_t> CfbReader::ReadChain(std::uint32_t start, std::uint64_t size,
                                                   bool mini,
                                                   std::vector<std::uint8_t>& scratch) const {
  if (size == 0) return {};
  if (size > file_.size()) Bad("stream size larger than the file");
  const std::uint32_t unit = mini ? kMiniSectorSize : sectorSize_;
  const std::uint64_t count = (size + unit - 1) / unit;
  const std::span<const std::uint8_t> area =
      mini ? miniStream_ : file_.subspan(std::min<size_t>(sectorSize_, file_.size()));
  const std::vector<std::uint32_t>& table = mini ? miniFat_ : fat_;
  const std::uint64_t areaUnits = (area.size() + unit - 1) / unit;

  auto sectorBytes = [&](std::uint32_t s, std::uint64_t index) {
    if (s >= areaUnits)
      Bad(mini ? "mini sector number out of range" : "sector number out of range");
    const std::uint64_t want = index + 1 == count ? size - index * unit : unit;
    const std::uint64_t offset = static_cast<std::uint64_t>(s) * unit;
    if (offset + want > area.size()) Bad("stream runs past the end of the file");
    return area.subspan(offset, want);
  };
  auto next = [&](std::uint32_t s) {
    if (s >= table.size()) Bad(mini ? "mini sector beyond the mini FAT" : "sector beyond the FAT");
    return table[s];
  };

  // Consecutive sectors: hand out a view.
  std::uint32_t s = start;
  std::uint64_t i = 0;
  for (; i < count; ++i) {
    if (s > kMaxRegSect) Bad("stream shorter than its size");
    if (s != start + i) break;
    sectorBytes(s, i);
    if (i + 1 < count) s = next(s);
  }
  if (i == count) return area.subspan(static_cast<size_t>(start) * unit, size);

  // Scattered sectors: gather them, marking each so that a loop in the chain is caught.
  std::vector<std::uint32_t>& marks = mini ? miniMarks_ : fatMarks_;
  if (marks.size() != table.size() || ++generation_ == 0) {
    marks.assign(table.size(), 0);
    generation_ = 1;
  }
  scratch.clear();
  scratch.reserve(size);
  s = start;
  for (i = 0; i < count; ++i) {
    if (s > kMaxRegSect) Bad("stream shorter than its size");
    const auto bytes = sectorBytes(s, i);
    if (s >= marks.size()) Bad(mini ? "mini sector beyond the mini FAT" : "sector beyond the FAT");
    if (marks[s] == generation_) Bad("loop in a sector chain");
    marks[s] = generation_;
    scratch.insert(scratch.end(), bytes.begin(), bytes.end());
    if (i + 1 < count) s = next(s);
  }
  return scratch;
}

std::optional<std::uint32_t> CfbReader::Find(std::uint32_t storage, std::string_view name) const {
  const bool ascii = IsAscii(name);
  const std::u16string wide = ascii ? std::u16string() : Utf8ToUtf16(name);
  for (std::uint32_t child : entries_[storage].children) {
    const std::string_view candidate = entries_[child].name;
    if (ascii ? EqualIgnoringAsciiCase(candidate, name)
              : CompareNames(Utf8ToUtf16(candidate), wide) == 0) {
      return child;
    }
  }
  return std::nullopt;
}

std::span<const std::uint8_t> CfbReader::Stream(std::uint32_t id,
                                                std::vector<std::uint8_t>& scratch) const {
  const Entry& e = entries_[id];
  if (e.type != EntryType::kStream) Bad("\"" + std::string(e.name) + "\" is not a stream");
  if (e.size > file_.size()) Bad("stream size larger than the file");
  if (!charged_[id]) {
    ChargeBudget(e.size);
    charged_[id] = true;
  }
  return ReadChain(e.startSector, e.size, e.size < kMiniStreamCutoff, scratch);
}

std::vector<std::uint8_t> CfbReader::ReadStream(std::uint32_t id) const {
  std::vector<std::uint8_t> scratch;
  const auto bytes = Stream(id, scratch);
  if (bytes.data() == scratch.data() && bytes.size() == scratch.size()) return scratch;
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// ---- Writer: building the tree ----

CfbWriter::CfbWriter() {
  nodes_.push_back(Node{u"Root Entry", true, {}, {}, {}});
}

std::uint32_t CfbWriter::Add(std::uint32_t parent, std::string_view name, bool storage) {
  if (parent >= nodes_.size() || !nodes_[parent].storage) {
    throw Error(errnum::kInvalidProcedureCall, "Compound file: parent is not a storage");
  }
  std::u16string wide = Utf8ToUtf16(name);
  if (wide.empty() || wide.size() > 31) {
    throw Error(errnum::kInvalidProcedureCall,
                "Compound file: bad name length for \"" + std::string(name) + "\"");
  }
  std::u16string key = wide;
  for (auto& c : key) c = Upper(c);
  if (!nodes_[parent].childKeys.insert(std::move(key)).second) {
    throw Error(errnum::kInvalidProcedureCall,
                "Compound file: duplicate name \"" + std::string(name) + "\"");
  }
  const auto id = static_cast<std::uint32_t>(nodes_.size());
  nodes_.push_back(Node{std::move(wide), storage, {}, {}, {}});
  nodes_[parent].children.push_back(id);
  return id;
}

std::uint32_t CfbWriter::AddStorage(std::uint32_t parent, std::string_view name) {
  return Add(parent, name, true);
}

void CfbWriter::AddStream(std::uint32_t parent, std::string_view name,
                          std::vector<std::uint8_t> data) {
  const std::uint32_t id = Add(parent, name, false);
  nodes_[id].data = std::move(data);
}

// ---- Writer: the file's plan, then its header, allocation tables, streams and directory ----

namespace {

// The writer's files: version 3, 512-byte sectors.
constexpr std::uint16_t kWriterMinorVersion = 0x003E;
constexpr std::uint16_t kWriterMajorVersion = 3;
constexpr std::uint16_t kWriterSectorShift = 9;
constexpr std::uint32_t kSector = 1u << kWriterSectorShift;
constexpr std::uint32_t kSectorNumbersPerSector = kSector / 4;
constexpr std::uint32_t kEntriesPerSector = kSector / entry::kSize;

std::uint64_t SectorsFor(std::uint64_t bytes, std::uint32_t unit) {
  return (bytes + unit - 1) / unit;
}

// Stores the sector numbers `numbers` in consecutive sectors from `first` on.
void WriteSectorNumbers(const std::vector<std::uint32_t>& numbers, std::uint8_t* first) {
  for (size_t k = 0; k < numbers.size(); ++k) WriteLe32(first + 4 * k, numbers[k]);
}

}  // namespace

// Where everything goes. Sectors count from 0, the one after the header; in this order: FAT,
// DIFAT, directory, mini FAT, mini stream, then each large stream.
struct CfbWriter::Plan {
  std::vector<std::uint32_t>
      start;                 // per node: its first sector, or mini sector in the mini stream
  std::vector<bool> inMini;  // per node: whether it lies in the mini stream
  std::uint64_t miniSectors = 0;
  std::uint64_t fatSectors = 0;
  std::uint64_t difatSectors = 0;
  std::uint64_t directorySectors = 0;
  std::uint64_t miniFatSectors = 0;
  std::uint64_t miniStreamSectors = 0;
  std::uint64_t sectors = 0;  // all of them
  std::uint32_t firstFat = 0;
  std::uint32_t firstDifat = 0;
  std::uint32_t firstDirectory = kEndOfChain;
  std::uint32_t firstMiniFat = kEndOfChain;
  std::uint32_t firstMiniStream = kEndOfChain;
  std::vector<std::uint32_t> fat;

  bool IsLargeStream(const Node& node, size_t id) const {
    return !node.storage && !node.data.empty() && !inMini[id];
  }
};

CfbWriter::Plan CfbWriter::MakePlan() const {
  const size_t n = nodes_.size();
  Plan plan;
  plan.start.assign(n, kEndOfChain);
  plan.inMini.assign(n, false);
  std::uint64_t largeSectors = 0;
  for (size_t i = 1; i < n; ++i) {
    const Node& node = nodes_[i];
    if (node.storage || node.data.empty()) continue;
    if (node.data.size() < kMiniStreamCutoff) {
      plan.inMini[i] = true;
      plan.start[i] = static_cast<std::uint32_t>(plan.miniSectors);
      plan.miniSectors += SectorsFor(node.data.size(), kMiniSectorSize);
    } else {
      largeSectors += SectorsFor(node.data.size(), kSector);
    }
  }
  plan.miniStreamSectors = SectorsFor(plan.miniSectors * kMiniSectorSize, kSector);
  plan.miniFatSectors = SectorsFor(plan.miniSectors, kSectorNumbersPerSector);
  plan.directorySectors = SectorsFor(n, kEntriesPerSector);
  const std::uint64_t dataSectors =
      largeSectors + plan.miniStreamSectors + plan.miniFatSectors + plan.directorySectors;

  // The FAT covers itself and the DIFAT too: grow both until they are large enough.
  plan.fatSectors = 1;
  while (true) {
    const std::uint64_t total = dataSectors + plan.fatSectors + plan.difatSectors;
    const std::uint64_t needFat = SectorsFor(total, kSectorNumbersPerSector);
    const std::uint64_t needDifat =
        needFat > kHeaderFatEntries
            ? SectorsFor(needFat - kHeaderFatEntries, kSectorNumbersPerSector - 1)
            : 0;
    if (needFat == plan.fatSectors && needDifat == plan.difatSectors) break;
    plan.fatSectors = std::max(plan.fatSectors, needFat);
    plan.difatSectors = std::max(plan.difatSectors, needDifat);
  }
  plan.sectors = dataSectors + plan.fatSectors + plan.difatSectors;
  if (plan.sectors >= kMaxRegSect / 2) {
    throw Error(errnum::kInvalidProcedureCall, "Compound file: too much data");
  }

  plan.fat.assign(plan.fatSectors * kSectorNumbersPerSector, kFreeSect);
  std::uint32_t next = 0;
  auto chain = [&](std::uint64_t count) {
    const std::uint32_t first = next;
    for (std::uint64_t k = 0; k < count; ++k, ++next) {
      plan.fat[next] = k + 1 < count ? next + 1 : kEndOfChain;
    }
    return count ? first : kEndOfChain;
  };
  plan.firstFat = next;
  for (std::uint64_t k = 0; k < plan.fatSectors; ++k) plan.fat[next++] = kFatSect;
  plan.firstDifat = next;
  for (std::uint64_t k = 0; k < plan.difatSectors; ++k) plan.fat[next++] = kDifSect;
  plan.firstDirectory = chain(plan.directorySectors);
  plan.firstMiniFat = chain(plan.miniFatSectors);
  plan.firstMiniStream = chain(plan.miniStreamSectors);
  for (size_t i = 1; i < n; ++i) {
    if (plan.IsLargeStream(nodes_[i], i)) {
      plan.start[i] = chain(SectorsFor(nodes_[i].data.size(), kSector));
    }
  }
  return plan;
}

void CfbWriter::WriteHeader(const Plan& plan, std::uint8_t* h) {
  std::memcpy(h + header::kSignature, kSignature, 8);
  WriteLe16(h + header::kMinorVersion, kWriterMinorVersion);
  WriteLe16(h + header::kMajorVersion, kWriterMajorVersion);
  WriteLe16(h + header::kByteOrder, kByteOrderMark);
  WriteLe16(h + header::kSectorShift, kWriterSectorShift);
  WriteLe16(h + header::kMiniSectorShift, kMiniSectorShift);
  WriteLe32(h + header::kFatSectorCount, static_cast<std::uint32_t>(plan.fatSectors));
  WriteLe32(h + header::kFirstDirectorySector, plan.firstDirectory);
  WriteLe32(h + header::kMiniStreamCutoff, kMiniStreamCutoff);
  WriteLe32(h + header::kFirstMiniFatSector, plan.firstMiniFat);
  WriteLe32(h + header::kMiniFatSectorCount, static_cast<std::uint32_t>(plan.miniFatSectors));
  WriteLe32(h + header::kFirstDifatSector, plan.difatSectors ? plan.firstDifat : kEndOfChain);
  WriteLe32(h + header::kDifatSectorCount, static_cast<std::uint32_t>(plan.difatSectors));
  for (std::uint32_t i = 0; i < kHeaderFatEntries; ++i) {
    WriteLe32(h + header::kFatSectors + 4 * i, i < plan.fatSectors ? plan.firstFat + i : kFreeSect);
  }
}

void CfbWriter::WriteAllocation(const Plan& plan, std::uint8_t* sectors) const {
  auto sectorAt = [sectors](std::uint64_t s) { return sectors + s * kSector; };
  // The DIFAT: the FAT sector numbers the header has no room for, each sector ending with the
  // number of the next.
  for (std::uint64_t d = 0; d < plan.difatSectors; ++d) {
    std::uint8_t* p = sectorAt(plan.firstDifat + d);
    for (std::uint32_t k = 0; k + 1 < kSectorNumbersPerSector; ++k) {
      const std::uint64_t fatIndex = kHeaderFatEntries + d * (kSectorNumbersPerSector - 1) + k;
      WriteLe32(p + 4 * k, fatIndex < plan.fatSectors
                               ? static_cast<std::uint32_t>(plan.firstFat + fatIndex)
                               : kFreeSect);
    }
    WriteLe32(p + 4 * (kSectorNumbersPerSector - 1),
              d + 1 < plan.difatSectors ? static_cast<std::uint32_t>(plan.firstDifat + d + 1)
                                        : kEndOfChain);
  }
  WriteSectorNumbers(plan.fat, sectorAt(plan.firstFat));
  // The mini FAT: each mini stream's sectors are consecutive.
  std::vector<std::uint32_t> miniFat(plan.miniFatSectors * kSectorNumbersPerSector, kFreeSect);
  for (size_t i = 1; i < nodes_.size(); ++i) {
    if (!plan.inMini[i]) continue;
    const std::uint64_t count = SectorsFor(nodes_[i].data.size(), kMiniSectorSize);
    for (std::uint64_t k = 0; k < count; ++k) {
      miniFat[plan.start[i] + k] =
          k + 1 < count ? static_cast<std::uint32_t>(plan.start[i] + k + 1) : kEndOfChain;
    }
  }
  if (!miniFat.empty()) WriteSectorNumbers(miniFat, sectorAt(plan.firstMiniFat));
}

void CfbWriter::WriteStreams(const Plan& plan, std::uint8_t* sectors) const {
  for (size_t i = 1; i < nodes_.size(); ++i) {
    const std::vector<std::uint8_t>& data = nodes_[i].data;
    if (plan.inMini[i]) {
      std::memcpy(sectors + static_cast<size_t>(plan.firstMiniStream) * kSector +
                      static_cast<size_t>(plan.start[i]) * kMiniSectorSize,
                  data.data(), data.size());
    } else if (plan.IsLargeStream(nodes_[i], i)) {
      std::memcpy(sectors + static_cast<size_t>(plan.start[i]) * kSector, data.data(), data.size());
    }
  }
}

void CfbWriter::WriteDirectory(const Plan& plan, std::uint8_t* sectors) const {
  const size_t n = nodes_.size();
  // Each storage's children as a balanced tree; nodes on the deepest level are red, the rest
  // black, which satisfies the red-black rules.
  struct Links {
    std::uint32_t left = kNoStream, right = kNoStream, child = kNoStream;
    bool red = false;
  };
  std::vector<Links> links(n);
  for (size_t i = 0; i < n; ++i) {
    std::vector<std::uint32_t> sorted = nodes_[i].children;
    if (sorted.empty()) continue;
    std::sort(sorted.begin(), sorted.end(), [&](std::uint32_t a, std::uint32_t b) {
      return CompareNames(nodes_[a].name, nodes_[b].name) < 0;
    });
    int maxDepth = 0;
    while ((size_t{2} << maxDepth) - 1 < sorted.size()) ++maxDepth;
    std::function<std::uint32_t(size_t, size_t, int)> build = [&](size_t lo, size_t hi,
                                                                  int depth) -> std::uint32_t {
      if (lo >= hi) return kNoStream;
      const size_t mid = lo + (hi - lo) / 2;
      const std::uint32_t id = sorted[mid];
      links[id].left = build(lo, mid, depth + 1);
      links[id].right = build(mid + 1, hi, depth + 1);
      links[id].red = depth > 0 && depth == maxDepth;
      return id;
    };
    links[i].child = build(0, sorted.size(), 0);
  }

  std::uint8_t* directory = sectors + static_cast<size_t>(plan.firstDirectory) * kSector;
  for (size_t i = 0; i < plan.directorySectors * kEntriesPerSector; ++i) {
    std::uint8_t* e = directory + entry::kSize * i;
    if (i >= n) {  // an unused entry
      WriteLe32(e + entry::kLeftSibling, kNoStream);
      WriteLe32(e + entry::kRightSibling, kNoStream);
      WriteLe32(e + entry::kChild, kNoStream);
      continue;
    }
    const Node& node = nodes_[i];
    for (size_t k = 0; k < node.name.size(); ++k) {
      WriteLe16(e + entry::kName + 2 * k, node.name[k]);
    }
    WriteLe16(e + entry::kNameLength, static_cast<std::uint16_t>((node.name.size() + 1) * 2));
    const CfbReader::EntryType type = i == kRoot     ? CfbReader::EntryType::kRoot
                                      : node.storage ? CfbReader::EntryType::kStorage
                                                     : CfbReader::EntryType::kStream;
    e[entry::kType] = static_cast<std::uint8_t>(type);
    e[entry::kColour] = links[i].red ? 0 : 1;
    WriteLe32(e + entry::kLeftSibling, links[i].left);
    WriteLe32(e + entry::kRightSibling, links[i].right);
    WriteLe32(e + entry::kChild, links[i].child);
    if (i == kRoot) {  // the root's stream is the mini stream
      const std::uint64_t miniStreamBytes = plan.miniSectors * kMiniSectorSize;
      WriteLe32(e + entry::kStartSector, miniStreamBytes ? plan.firstMiniStream : kEndOfChain);
      WriteLe32(e + entry::kStreamSize, static_cast<std::uint32_t>(miniStreamBytes));
    } else if (!node.storage) {
      WriteLe32(e + entry::kStartSector, plan.start[i]);
      WriteLe32(e + entry::kStreamSize, static_cast<std::uint32_t>(node.data.size()));
    }
  }
}

std::vector<std::uint8_t> CfbWriter::Finish() const {
  const Plan plan = MakePlan();
  std::vector<std::uint8_t> out((plan.sectors + 1) * kSector, 0);
  std::uint8_t* sectors = out.data() + kSector;  // the first sector after the header
  WriteHeader(plan, out.data());
  WriteAllocation(plan, sectors);
  WriteStreams(plan, sectors);
  WriteDirectory(plan, sectors);
  return out;
}

}  // namespace lorva::mailstore
