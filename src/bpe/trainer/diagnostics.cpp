// The trainer's storage figures and window counters. Byte counts multiply a container's capacity
// by sizeof the element it really stores, so the figures follow the records when they change.
#include <unordered_set>

#include "bpe/trainer/trainer.hpp"
#include "bpe/unit_kinds.hpp"
#include "util/counting.hpp"
#include "util/invariant.hpp"

namespace vellum {

template <class Kind>
TrainerMemory Trainer<Kind>::memory_usage() const {
  TrainerMemory memory{};
  memory.word_entries = words_.size();
  // Word records hold their symbols only (their text follows from the symbols' tokens), so
  // words add no content bytes of their own.
  memory.word_storage_bytes = words_.capacity() * sizeof(WordRecord<Kind>);
  for (const WordRecord<Kind>& word : words_) {
    memory.word_storage_bytes += word.symbols.capacity() * sizeof(Symbol);
  }
  const auto store = store_.footprint();
  memory.pair_entries = store.pair_entries;
  memory.pair_table_bytes = store.pair_table_bytes;
  memory.occurrence_set_header_bytes = store.slab_slot_bytes;
  memory.occurrence_capacity_entries = store.occurrence_capacity_entries;
  memory.occurrence_capacity_bytes = store.occurrence_capacity_bytes;
  memory.merge_heap_bytes = store.merge_heap_bytes;
  memory.merge_storage_bytes = merges_.capacity() * sizeof(MergeRecord<Kind>);
  memory.vocab_entries = vocabulary_.size();
  // A content shared by several tokens (by reference) counts once.
  std::unordered_set<const Units<Unit>*> seen;
  for (const Token<Unit>& token : vocabulary_.tokens()) {
    if (seen.insert(token.get()).second) memory.vocab_token_bytes += token->size() * sizeof(Unit);
  }
  for (const std::uint64_t part :
       {memory.word_storage_bytes, memory.pair_table_bytes, memory.occurrence_set_header_bytes,
        memory.occurrence_capacity_bytes, memory.merge_storage_bytes, memory.merge_heap_bytes,
        memory.vocab_token_bytes}) {
    memory.estimated_persistent_bytes = saturating_add(memory.estimated_persistent_bytes, part);
  }
  return memory;
}

template <class Kind>
std::optional<WindowStats> Trainer<Kind>::hot_pair_window_stats() const {
  if (!store_.windowed()) return std::nullopt;
  const WindowCounters& counters = store_.window_counters();
  return WindowStats{counters.hydration_scans,     counters.hydrated_word_entries, counters.batch_prunes,
                     counters.prune_evictions,     counters.peak_resident_pairs,   store_.resident_count(),
                     store_.footprint().occurrence_capacity_entries};
}

template <class Kind>
void Trainer<Kind>::carry_window_counters(const WindowCounters& earlier) {
  check_invariant(store_.windowed(), "cannot accumulate exact pair-store statistics");
  store_.window_counters().carry(earlier);
}

#define VELLUM_DIAGNOSTIC_MEMBERS(KIND)                                           \
  template TrainerMemory Trainer<KIND>::memory_usage() const;                     \
  template std::optional<WindowStats> Trainer<KIND>::hot_pair_window_stats() const; \
  template void Trainer<KIND>::carry_window_counters(const WindowCounters&);
VELLUM_DIAGNOSTIC_MEMBERS(ByteUnit)
VELLUM_DIAGNOSTIC_MEMBERS(CharUnit)
#undef VELLUM_DIAGNOSTIC_MEMBERS

}  // namespace vellum
