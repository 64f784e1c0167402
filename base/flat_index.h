// An index from hashed keys to positions in an array its user keeps: a table of open addressing,
// at most half full, in one allocation. The keys themselves are not kept; the user tells whether
// the key at a position is the one looked for. Made for the run's many small lookups by name,
// where a node-based table spends its time waiting on memory.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace lorva {

class FlatIndex {
 public:
  // The position of an entry whose key has `hash` and for which `isKey(position)` holds, if any.
  template <typename IsKey>
  std::optional<std::uint32_t> Find(std::size_t hash, IsKey&& isKey) const {
    if (slots_.empty()) return std::nullopt;
    const std::size_t mask = slots_.size() - 1;
    const auto low = static_cast<std::uint32_t>(hash);
    for (std::size_t i = low & mask; slots_[i].entry != 0; i = (i + 1) & mask) {
      if (slots_[i].hash == low && isKey(slots_[i].entry - 1)) return slots_[i].entry - 1;
    }
    return std::nullopt;
  }

  // Records that the key at `position` has `hash`. Precondition: no entry for that key yet.
  void Add(std::size_t hash, std::uint32_t position) {
    if ((count_ + 1) * 2 > slots_.size()) Rehash(std::max<std::size_t>(16, slots_.size() * 2));
    Place({static_cast<std::uint32_t>(hash), position + 1});
    ++count_;
  }

  // Makes room for `count` entries at once.
  void Reserve(std::size_t count) { Rehash(std::bit_ceil(std::max<std::size_t>(16, count * 2))); }

 private:
  // Eight bytes: a lookup in a large table lands on memory no recent work touched, and the
  // fewer pages the table spans, the likelier its page is still in the processor's cache of
  // address translations.
  struct Slot {
    std::uint32_t hash = 0;   // the low half of the key's hash
    std::uint32_t entry = 0;  // the position plus one; 0: an empty slot
  };

  // Makes the table at least `size` slots (a power of two), placing the entries again.
  void Rehash(std::size_t size) {
    if (size <= slots_.size()) return;
    const std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(size));
    for (const Slot& slot : old) {
      if (slot.entry != 0) Place(slot);
    }
  }
  // Puts `slot` in the first empty slot from its hash on. Precondition: the table has one.
  void Place(const Slot& slot) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = slot.hash & mask;
    while (slots_[i].entry != 0) i = (i + 1) & mask;
    slots_[i] = slot;
  }

  std::vector<Slot> slots_;
  std::size_t count_ = 0;
};

}  // namespace lorva
