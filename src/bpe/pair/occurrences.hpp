// Occurrence lists and their slab: for each pair, the indices of the words that may contain it.
//
// A list may name words that no longer contain its pair, never omits one that does, and may hold
// repeats between compactions. Lists are append-only vectors rather than hash sets: appending
// is a store, not a probe, and a vector of 32-bit indices takes a quarter of a flat set's
// memory; repeats are sorted out when the list doubles and when it is taken for a merge. The
// slab reuses the most recently freed slot first, so it grows only to the most lists alive at
// once. Not thread-safe; owned by one pair store.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "bpe/ids.hpp"
#include "util/invariant.hpp"

namespace vellum {

class OccurrenceList {
 public:
  void add(WordIndex word) {
    words_.push_back(word);
    if (words_.size() >= 2 * compact_size_ + kSlack) compact();
  }
  void add_all(const std::vector<WordIndex>& words) {
    for (const WordIndex word : words) add(word);
  }
  // A list of indices already distinct and ascending, holding no spare capacity.
  static OccurrenceList of_distinct(std::vector<WordIndex> words) {
    OccurrenceList list;
    words.shrink_to_fit();
    list.words_ = std::move(words);
    list.compact_size_ = list.words_.size();
    return list;
  }
  // Indices the list can hold without growing.
  std::size_t capacity() const { return words_.capacity(); }
  // The distinct indices, ascending.
  std::vector<WordIndex> take_distinct() {
    compact();
    compact_size_ = 0;
    return std::move(words_);
  }

 private:
  static constexpr std::size_t kSlack = 16;
  void compact() {
    std::sort(words_.begin(), words_.end());
    words_.erase(std::unique(words_.begin(), words_.end()), words_.end());
    compact_size_ = words_.size();
  }
  std::vector<WordIndex> words_;
  std::size_t compact_size_ = 0;
};

// Slots of occurrence lists addressed by 32-bit handle: 0 means "no list", v names slot v - 1.
class OccurrenceSlab {
 public:
  // Stores `list` in a free slot and returns its handle.
  std::uint32_t insert(OccurrenceList list) {
    std::uint32_t slot;
    if (!free_.empty()) {
      slot = free_.back();
      free_.pop_back();
      slots_[slot].list = std::move(list);
    } else {
      check_invariant(slots_.size() < UINT32_MAX, "occurs_in slab exhausted");
      slot = static_cast<std::uint32_t>(slots_.size());
      slots_.push_back(Slot{std::move(list)});
    }
    slots_[slot].occupied = true;
    return slot + 1;
  }

  OccurrenceList& at(std::uint32_t handle) {
    check_invariant(is_occupied(handle), "stale occurs_in id");
    return slots_[handle - 1].list;
  }
  const OccurrenceList& at(std::uint32_t handle) const {
    check_invariant(is_occupied(handle), "stale occurs_in id");
    return slots_[handle - 1].list;
  }

  // Slots allocated, occupied or not, and the size of one.
  std::size_t slot_capacity() const { return slots_.capacity(); }
  static std::size_t slot_bytes() { return sizeof(Slot); }
  // The summed capacity of the occupied slots' lists.
  std::uint64_t occupied_capacity() const {
    std::uint64_t total = 0;
    for (const Slot& slot : slots_) total += slot.occupied ? slot.list.capacity() : 0;
    return total;
  }

  // Moves the list out and frees its slot.
  OccurrenceList take(std::uint32_t handle) {
    OccurrenceList list = std::move(at(handle));
    slots_[handle - 1] = Slot{};
    free_.push_back(handle - 1);
    return list;
  }

 private:
  struct Slot {
    OccurrenceList list;
    bool occupied = false;
  };
  bool is_occupied(std::uint32_t handle) const {
    return handle != 0 && handle <= slots_.size() && slots_[handle - 1].occupied;
  }
  std::vector<Slot> slots_;
  std::vector<std::uint32_t> free_;
};

}  // namespace vellum
