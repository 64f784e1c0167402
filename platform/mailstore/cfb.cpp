#include "platform/mailstore/cfb.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "base/error.h"
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

[[noreturn]] void Bad(const std::string& what) {
  throw Error(errnum::kBadFileFormat, "Malformed compound file: " + what);
}

std::uint16_t U16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t U32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
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

bool AsciiEqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

// ---- Reader ----

CfbReader::CfbReader(std::span<const std::uint8_t> file) : file_(file) {
  if (file.size() < 512) Bad("the file is shorter than a compound file header");
  const std::uint8_t* h = file.data();
  if (std::memcmp(h, kSignature, 8) != 0) Bad("no compound file signature");
  if (U16(h + 0x1C) != 0xFFFE) Bad("bad byte order mark");
  const std::uint16_t major = U16(h + 0x1A);
  sectorShift_ = U16(h + 0x1E);
  if (major == 3 && sectorShift_ == 9) {
    version4_ = false;
  } else if (major == 4 && sectorShift_ == 12) {
    version4_ = true;
  } else {
    Bad("unsupported version " + std::to_string(major) + " with sector shift " +
        std::to_string(sectorShift_));
  }
  if (U16(h + 0x20) != 6) Bad("bad mini sector shift");
  if (U32(h + 0x38) != kMiniStreamCutoff) Bad("bad mini stream cutoff");
  sectorSize_ = 1u << sectorShift_;
  if (file.size() <= sectorSize_) Bad("the file holds no sector after its header");
  sectorCount_ = (file.size() - sectorSize_ + sectorSize_ - 1) / sectorSize_;
  budget_ = 8 * static_cast<std::uint64_t>(file.size()) + (16u << 20);

  LoadFat();
  LoadDirectory(U32(h + 0x30));
  LoadMiniFat(U32(h + 0x3C));
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
  const std::uint32_t fatCount = U32(h + 0x2C);
  if (fatCount == 0) Bad("no FAT sector");
  if (fatCount > sectorCount_) Bad("FAT sector count larger than the file");
  const std::uint32_t perSector = sectorSize_ / 4;
  std::vector<std::uint32_t> fatSectors;
  fatSectors.reserve(fatCount);
  for (std::uint32_t i = 0; i < 109 && fatSectors.size() < fatCount; ++i) {
    fatSectors.push_back(U32(h + 0x4C + 4 * i));
  }
  std::uint32_t difat = U32(h + 0x44);
  std::uint64_t difatSteps = 0;
  while (fatSectors.size() < fatCount) {
    if (difat >= sectorCount_) Bad("DIFAT sector number out of range");
    if (++difatSteps > sectorCount_) Bad("loop in the DIFAT chain");
    const std::uint64_t offset = (static_cast<std::uint64_t>(difat) + 1) << sectorShift_;
    if (offset + sectorSize_ > file_.size()) Bad("truncated DIFAT sector");
    const std::uint8_t* p = file_.data() + offset;
    for (std::uint32_t i = 0; i + 1 < perSector && fatSectors.size() < fatCount; ++i) {
      fatSectors.push_back(U32(p + 4 * i));
    }
    difat = U32(p + 4 * (perSector - 1));
  }
  fat_.resize(static_cast<size_t>(fatCount) * perSector);
  for (std::uint32_t i = 0; i < fatCount; ++i) {
    const std::uint32_t s = fatSectors[i];
    if (s >= sectorCount_) Bad("FAT sector number out of range");
    const std::uint64_t offset = (static_cast<std::uint64_t>(s) + 1) << sectorShift_;
    if (offset + sectorSize_ > file_.size()) Bad("truncated FAT sector");
    const std::uint8_t* p = file_.data() + offset;
    for (std::uint32_t k = 0; k < perSector; ++k) fat_[i * perSector + k] = U32(p + 4 * k);
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
    for (std::uint32_t k = 0; k < perSector; ++k) miniFat_.push_back(U32(p + 4 * k));
    s = FatNext(s);
  }
}

void CfbReader::LoadDirectory(std::uint32_t first) {
  // The directory's sectors.
  std::vector<const std::uint8_t*> raw;
  std::uint32_t s = first;
  std::uint64_t steps = 0;
  const std::uint32_t perSector = sectorSize_ / 128;
  while (s != kEndOfChain) {
    if (s >= sectorCount_) Bad("directory sector number out of range");
    if (++steps > sectorCount_) Bad("loop in the directory chain");
    const std::uint64_t offset = (static_cast<std::uint64_t>(s) + 1) << sectorShift_;
    if (offset + sectorSize_ > file_.size()) Bad("truncated directory sector");
    for (std::uint32_t k = 0; k < perSector; ++k) raw.push_back(file_.data() + offset + 128 * k);
    s = FatNext(s);
  }
  if (raw.empty()) Bad("empty directory");
  entries_.resize(raw.size());
  std::vector<bool> seen(raw.size(), false);

  auto parse = [&](std::uint32_t id) {
    const std::uint8_t* p = raw[id];
    Entry& e = entries_[id];
    const std::uint8_t type = p[0x42];
    if (type != 0 && type != 1 && type != 2 && type != 5) {
      Bad("directory entry " + std::to_string(id) + " has unknown type " + std::to_string(type));
    }
    e.type = static_cast<EntryType>(type);
    const std::uint16_t nameBytes = U16(p + 0x40);
    if (e.type != EntryType::kEmpty) {
      if (nameBytes > 64 || nameBytes % 2 != 0) {
        Bad("directory entry " + std::to_string(id) + " has a bad name length");
      }
      size_t units = nameBytes / 2;
      while (units > 0 && p[2 * (units - 1)] == 0 && p[2 * (units - 1) + 1] == 0) --units;
      e.name = Utf16LeToUtf8({p, units * 2});
    }
    e.startSector = U32(p + 0x74);
    e.size = version4_ ? (static_cast<std::uint64_t>(U32(p + 0x7C)) << 32) | U32(p + 0x78)
                       : U32(p + 0x78);
  };

  parse(kRootEntry);
  seen[kRootEntry] = true;
  if (entries_[kRootEntry].type != EntryType::kRoot) Bad("the first directory entry is no root");

  // Each storage's sibling tree, walked in order with an explicit stack; every entry may be
  // reached once only, so a loop in the tree is an error and the walk is linear.
  std::vector<std::uint32_t> storages{kRootEntry};
  std::vector<std::uint32_t> stack;
  while (!storages.empty()) {
    const std::uint32_t storage = storages.back();
    storages.pop_back();
    std::vector<std::uint32_t> children;
    std::uint32_t node = U32(raw[storage] + 0x4C);
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
        const std::uint32_t left = U32(raw[node] + 0x44);
        node = visit(left) ? left : kNoStream;
      }
      node = stack.back();
      stack.pop_back();
      if (entries_[node].type != EntryType::kEmpty) children.push_back(node);
      if (entries_[node].type == EntryType::kStorage) storages.push_back(node);
      const std::uint32_t right = U32(raw[node] + 0x48);
      node = visit(right) ? right : kNoStream;
    }
    entries_[storage].children = std::move(children);
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
  const bool ascii = std::all_of(name.begin(), name.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  const std::u16string wide = ascii ? std::u16string() : Utf8ToUtf16(name);
  for (std::uint32_t child : entries_[storage].children) {
    const std::string& candidate = entries_[child].name;
    if (ascii ? AsciiEqualNoCase(candidate, name)
              : CompareNames(Utf8ToUtf16(candidate), wide) == 0) {
      return child;
    }
  }
  return std::nullopt;
}

std::span<const std::uint8_t> CfbReader::Stream(std::uint32_t id,
                                                std::vector<std::uint8_t>& scratch) const {
  const Entry& e = entries_[id];
  if (e.type != EntryType::kStream) Bad("\"" + e.name + "\" is not a stream");
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

// ---- Writer ----

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

std::vector<std::uint8_t> CfbWriter::Finish() const {
  constexpr std::uint32_t kSector = 512;
  constexpr std::uint32_t kPer = kSector / 4;
  const size_t n = nodes_.size();

  // Where each stream goes.
  std::vector<std::uint32_t> start(n, kEndOfChain);
  std::vector<bool> inMini(n, false);
  std::uint64_t miniSectors = 0;
  std::uint64_t bigSectors = 0;
  for (size_t i = 1; i < n; ++i) {
    const Node& node = nodes_[i];
    if (node.storage || node.data.empty()) continue;
    if (node.data.size() < kMiniStreamCutoff) {
      inMini[i] = true;
      start[i] = static_cast<std::uint32_t>(miniSectors);
      miniSectors += (node.data.size() + kMiniSectorSize - 1) / kMiniSectorSize;
    } else {
      bigSectors += (node.data.size() + kSector - 1) / kSector;
    }
  }
  const std::uint64_t miniStreamBytes = miniSectors * kMiniSectorSize;
  const std::uint64_t miniStreamSectors = (miniStreamBytes + kSector - 1) / kSector;
  const std::uint64_t miniFatSectors = (miniSectors + kPer - 1) / kPer;
  const std::uint64_t dirSectors = (n + 3) / 4;
  const std::uint64_t dataSectors = bigSectors + miniStreamSectors + miniFatSectors + dirSectors;
  std::uint64_t fatSectors = 1;
  std::uint64_t difatSectors = 0;
  while (true) {
    const std::uint64_t total = dataSectors + fatSectors + difatSectors;
    const std::uint64_t needFat = (total + kPer - 1) / kPer;
    const std::uint64_t needDifat = needFat > 109 ? (needFat - 109 + kPer - 2) / (kPer - 1) : 0;
    if (needFat == fatSectors && needDifat == difatSectors) break;
    fatSectors = std::max(fatSectors, needFat);
    difatSectors = std::max(difatSectors, needDifat);
  }
  const std::uint64_t total = dataSectors + fatSectors + difatSectors;
  if (total >= kMaxRegSect / 2) {
    throw Error(errnum::kInvalidProcedureCall, "Compound file: too much data");
  }

  // Layout: FAT, DIFAT, directory, mini FAT, mini stream, large streams.
  std::vector<std::uint32_t> fat(fatSectors * kPer, kFreeSect);
  std::uint32_t next = 0;
  auto chain = [&](std::uint64_t count) {
    const std::uint32_t first = next;
    for (std::uint64_t k = 0; k < count; ++k, ++next) {
      fat[next] = k + 1 < count ? next + 1 : kEndOfChain;
    }
    return count ? first : kEndOfChain;
  };
  const std::uint32_t firstFat = next;
  for (std::uint64_t k = 0; k < fatSectors; ++k) fat[next++] = kFatSect;
  const std::uint32_t firstDifat = next;
  for (std::uint64_t k = 0; k < difatSectors; ++k) fat[next++] = kDifSect;
  const std::uint32_t firstDir = chain(dirSectors);
  const std::uint32_t firstMiniFat = chain(miniFatSectors);
  const std::uint32_t firstMiniStream = chain(miniStreamSectors);
  for (size_t i = 1; i < n; ++i) {
    const Node& node = nodes_[i];
    if (node.storage || node.data.empty() || inMini[i]) continue;
    start[i] = chain((node.data.size() + kSector - 1) / kSector);
  }

  std::vector<std::uint8_t> out((total + 1) * kSector, 0);
  auto sectorAt = [&](std::uint32_t s) {
    return out.data() + (static_cast<size_t>(s) + 1) * kSector;
  };

  // Header.
  std::uint8_t* h = out.data();
  std::memcpy(h, kSignature, 8);
  Put16(h + 0x18, 0x003E);
  Put16(h + 0x1A, 3);
  Put16(h + 0x1C, 0xFFFE);
  Put16(h + 0x1E, 9);
  Put16(h + 0x20, 6);
  Put32(h + 0x2C, static_cast<std::uint32_t>(fatSectors));
  Put32(h + 0x30, firstDir);
  Put32(h + 0x38, kMiniStreamCutoff);
  Put32(h + 0x3C, firstMiniFat);
  Put32(h + 0x40, static_cast<std::uint32_t>(miniFatSectors));
  Put32(h + 0x44, difatSectors ? firstDifat : kEndOfChain);
  Put32(h + 0x48, static_cast<std::uint32_t>(difatSectors));
  for (std::uint32_t i = 0; i < 109; ++i) {
    Put32(h + 0x4C + 4 * i, i < fatSectors ? firstFat + i : kFreeSect);
  }
  // DIFAT sectors.
  for (std::uint64_t d = 0; d < difatSectors; ++d) {
    std::uint8_t* p = sectorAt(static_cast<std::uint32_t>(firstDifat + d));
    for (std::uint32_t k = 0; k + 1 < kPer; ++k) {
      const std::uint64_t fatIndex = 109 + d * (kPer - 1) + k;
      Put32(p + 4 * k,
            fatIndex < fatSectors ? static_cast<std::uint32_t>(firstFat + fatIndex) : kFreeSect);
    }
    Put32(p + 4 * (kPer - 1),
          d + 1 < difatSectors ? static_cast<std::uint32_t>(firstDifat + d + 1) : kEndOfChain);
  }
  // FAT.
  for (size_t k = 0; k < fat.size(); ++k) {
    Put32(sectorAt(firstFat + static_cast<std::uint32_t>(k / kPer)) + 4 * (k % kPer), fat[k]);
  }
  // Mini FAT and mini stream.
  {
    std::vector<std::uint32_t> miniFat(miniFatSectors * kPer, kFreeSect);
    for (size_t i = 1; i < n; ++i) {
      if (!inMini[i]) continue;
      const auto& data = nodes_[i].data;
      const std::uint64_t count = (data.size() + kMiniSectorSize - 1) / kMiniSectorSize;
      for (std::uint64_t k = 0; k < count; ++k) {
        miniFat[start[i] + k] =
            k + 1 < count ? static_cast<std::uint32_t>(start[i] + k + 1) : kEndOfChain;
      }
      // The mini stream's sectors are consecutive.
      std::memcpy(sectorAt(firstMiniStream) + static_cast<size_t>(start[i]) * kMiniSectorSize,
                  data.data(), data.size());
    }
    for (size_t k = 0; k < miniFat.size(); ++k) {
      Put32(sectorAt(firstMiniFat + static_cast<std::uint32_t>(k / kPer)) + 4 * (k % kPer),
            miniFat[k]);
    }
  }
  // Large streams.
  for (size_t i = 1; i < n; ++i) {
    const Node& node = nodes_[i];
    if (node.storage || node.data.empty() || inMini[i]) continue;
    std::memcpy(sectorAt(start[i]), node.data.data(), node.data.size());
  }

  // Directory: each storage's children as a balanced tree; nodes on the deepest level are red,
  // the rest black, which satisfies the red-black rules.
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
  std::uint8_t* dir = sectorAt(firstDir);
  for (size_t i = 0; i < dirSectors * 4; ++i) {
    std::uint8_t* e = dir + 128 * i;
    if (i >= n) {
      Put32(e + 0x44, kNoStream);
      Put32(e + 0x48, kNoStream);
      Put32(e + 0x4C, kNoStream);
      continue;
    }
    const Node& node = nodes_[i];
    for (size_t k = 0; k < node.name.size(); ++k) Put16(e + 2 * k, node.name[k]);
    Put16(e + 0x40, static_cast<std::uint32_t>((node.name.size() + 1) * 2));
    e[0x42] = i == 0 ? 5 : (node.storage ? 1 : 2);
    e[0x43] = links[i].red ? 0 : 1;
    Put32(e + 0x44, links[i].left);
    Put32(e + 0x48, links[i].right);
    Put32(e + 0x4C, links[i].child);
    if (i == 0) {
      Put32(e + 0x74, miniStreamBytes ? firstMiniStream : kEndOfChain);
      Put32(e + 0x78, static_cast<std::uint32_t>(miniStreamBytes));
    } else if (!node.storage) {
      Put32(e + 0x74, start[i]);
      Put32(e + 0x78, static_cast<std::uint32_t>(node.data.size()));
    }
  }
  return out;
}

}  // namespace lorva::mailstore
