// The hot pair window of the pair store: the top-K frontier, hydration, pruning and the window's
// handling of a merge's changes.
#include <algorithm>

#include "bpe/pair/pair_store.hpp"
#include "bpe/unit_kinds.hpp"
#include "util/counting.hpp"
#include "util/invariant.hpp"

namespace vellum {

template <class Kind>
void PairStore<Kind>::WindowCounters::carry(const WindowCounters& earlier) {
  hydration_scans = saturating_add(hydration_scans, earlier.hydration_scans);
  hydrated_word_entries = saturating_add(hydrated_word_entries, earlier.hydrated_word_entries);
  batch_prunes = saturating_add(batch_prunes, earlier.batch_prunes);
  prune_evictions = saturating_add(prune_evictions, earlier.prune_evictions);
  peak_resident_pairs = std::max(peak_resident_pairs, earlier.peak_resident_pairs);
}

// A bounded selection: a heap of at most K + 1 candidates whose front is the worst kept, so one
// pass over the table allocates K + 1 candidates and nothing per entry.
template <class Kind>
typename PairStore<Kind>::Ranked PairStore<Kind>::top_k(bool ordinary_only) const {
  check_invariant(windowed(), "pair occurrence window is disabled");
  const std::uint64_t k = *window_;
  const auto better = [this](const Candidate<Kind>& a, const Candidate<Kind>& b) { return less_(b, a); };
  Ranked kept;
  kept.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(k, table_.size())) + 1);
  for (const auto& [pair, entry] : table_) {
    if (entry.freq < 1 || (ordinary_only && entry.is_addition)) continue;
    const Candidate<Kind> candidate = candidate_of(pair, entry);
    if (kept.size() == k && !better(candidate, kept.front())) continue;
    kept.push_back(candidate);
    std::push_heap(kept.begin(), kept.end(), better);
    if (kept.size() > k) {
      std::pop_heap(kept.begin(), kept.end(), better);
      kept.pop_back();
    }
  }
  std::sort(kept.begin(), kept.end(), better);
  return kept;
}

template <class Kind>
void PairStore<Kind>::make_resident(PairT pair, Entry& entry, OccurrenceList list) {
  entry.occurs_in = slab_.insert(std::move(list));
  resident_.insert(pair);
}

template <class Kind>
void PairStore<Kind>::drop_occurrences(PairT pair, Entry& entry) {
  slab_.take(entry.occurs_in);
  entry.occurs_in = 0;
  resident_.erase(pair);
}

template <class Kind>
void PairStore<Kind>::set_threshold(const Ranked& ranked) {
  initialized_ = !ranked.empty();
  threshold_ = ranked.empty() ? 0 : ranked.back().freq;
}

template <class Kind>
void PairStore<Kind>::note_resident_peak() {
  counters_.peak_resident_pairs = std::max<std::uint64_t>(counters_.peak_resident_pairs, resident_.size());
}

template <class Kind>
void PairStore<Kind>::hydrate_top_k(std::optional<PairT> required) {
  const Ranked ranked = top_k(true);
  check_invariant(windowed(), "cannot hydrate exact pair occurrences");
  if (required) {
    const bool ranked_in = std::any_of(ranked.begin(), ranked.end(),
                                       [&](const Candidate<Kind>& candidate) { return candidate.pair == *required; });
    check_invariant(ranked_in, "a cold pair winner must be present in the exact top-K refill");
  }
  // The pairs to fill, each with the list its scan builds: the scan visits words in order, so
  // each list comes out ascending and distinct and is installed without sorting or spare room.
  boost::unordered_flat_map<PairT, std::size_t, ValueHash<PairT>> to_fill;
  std::vector<std::pair<std::uint32_t, std::vector<WordIndex>>> lists;
  for (const Candidate<Kind>& candidate : ranked) {
    auto found = table_.find(candidate.pair);
    check_invariant(found != table_.end(), "ranked pair is missing from pair store");
    if (found->second.occurs_in != 0) continue;
    make_resident(candidate.pair, found->second, OccurrenceList{});
    to_fill.emplace(candidate.pair, lists.size());
    lists.emplace_back(found->second.occurs_in, std::vector<WordIndex>{});
  }
  if (!to_fill.empty()) {
    const std::vector<WordRecord<Kind>>& words = *words_;
    for (std::size_t index = 0; index < words.size(); ++index) {
      const auto& symbols = words[index].symbols;
      for (std::size_t i = 0; i + 1 < symbols.size(); ++i) {
        if (auto found = to_fill.find(PairT{symbols[i], symbols[i + 1]}); found != to_fill.end()) {
          std::vector<WordIndex>& list = lists[found->second].second;
          const auto word = static_cast<WordIndex>(index);
          if (list.empty() || list.back() != word) list.push_back(word);
        }
      }
    }
    for (auto& [handle, list] : lists) slab_.at(handle) = OccurrenceList::of_distinct(std::move(list));
  }
  set_threshold(ranked);
  counters_.hydration_scans = saturating_add(counters_.hydration_scans, 1);
  counters_.hydrated_word_entries = saturating_add(counters_.hydrated_word_entries, words_->size());
  note_resident_peak();
}

template <class Kind>
void PairStore<Kind>::prune_if_over() {
  if (!windowed()) return;
  const std::uint64_t k = *window_;
  const std::uint64_t before = resident_.size();
  if (before <= k || before - k <= k) return;
  Ranked ranked;
  ranked.reserve(resident_.size());
  for (const PairT pair : resident_) {
    const Entry* entry = find(pair);
    check_invariant(entry != nullptr, "resident pair is missing");
    ranked.push_back(candidate_of(pair, *entry));
  }
  // Only the K best matter: a partial selection puts them first, the evicted rest after.
  const auto better = [this](const Candidate<Kind>& a, const Candidate<Kind>& b) { return less_(b, a); };
  const auto kept_end = ranked.begin() + static_cast<std::ptrdiff_t>(k);
  std::nth_element(ranked.begin(), kept_end - 1, ranked.end(), better);
  for (auto evicted = kept_end; evicted != ranked.end(); ++evicted) {
    auto found = table_.find(evicted->pair);
    check_invariant(found != table_.end(), "resident pair is missing");
    check_invariant(found->second.occurs_in != 0, "resident pair has no occurs_in set");
    drop_occurrences(evicted->pair, found->second);
  }
  // The K-th best is the last of the kept after the selection.
  initialized_ = true;
  threshold_ = (kept_end - 1)->freq;
  counters_.batch_prunes = saturating_add(counters_.batch_prunes, 1);
  counters_.prune_evictions = saturating_add(counters_.prune_evictions, before - resident_.size());
}

template <class Kind>
void PairStore<Kind>::apply_window_change(PairT pair, Entry& entry, Symbol new_symbol, PairChange<Symbol>&& change) {
  if (entry.occurs_in != 0) {
    if (!change.gained_in.empty()) slab_.at(entry.occurs_in).add_all(change.gained_in);
    if (entry.freq < 1) drop_occurrences(pair, entry);
    return;
  }
  // A pair that holds the new id did not exist before this merge: the words it was gained in
  // are all of its occurrences, so it can become resident without a scan.
  if (change.delta > 0 && (pair.left == new_symbol || pair.right == new_symbol)) {
    check_invariant(initialized_, "bounded pair store is not initialized");
    if (change.delta >= threshold_) {
      OccurrenceList list;
      list.add_all(change.gained_in);
      make_resident(pair, entry, std::move(list));
    }
  }
}

// The class itself is instantiated with the rest of its members in pair_store.cpp.
#define VELLUM_WINDOW_MEMBERS(KIND)                                                                   \
  template void PairStore<KIND>::WindowCounters::carry(const WindowCounters&);                       \
  template PairStore<KIND>::Ranked PairStore<KIND>::top_k(bool) const;                               \
  template void PairStore<KIND>::make_resident(PairT, Entry&, OccurrenceList);                       \
  template void PairStore<KIND>::drop_occurrences(PairT, Entry&);                                    \
  template void PairStore<KIND>::set_threshold(const Ranked&);                                       \
  template void PairStore<KIND>::note_resident_peak();                                               \
  template void PairStore<KIND>::hydrate_top_k(std::optional<PairT>);                                \
  template void PairStore<KIND>::prune_if_over();                                                    \
  template void PairStore<KIND>::apply_window_change(PairT, Entry&, Symbol, PairChange<Symbol>&&);
VELLUM_WINDOW_MEMBERS(ByteUnit)
VELLUM_WINDOW_MEMBERS(CharUnit)
#undef VELLUM_WINDOW_MEMBERS

}  // namespace vellum
