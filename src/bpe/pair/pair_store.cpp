#include "bpe/pair/pair_store.hpp"

#include <algorithm>

#include "bpe/unit_kinds.hpp"
#include "util/counting.hpp"
#include "util/invariant.hpp"

namespace vellum {

template <class Kind>
PairStore<Kind>::PairStore(TieBreak tie_break, const TokenTable<Kind>& vocabulary,
                           std::optional<std::uint64_t> window, const std::vector<WordRecord<Kind>>& words)
    : vocabulary_(&vocabulary), words_(&words), less_(tie_break, vocabulary), window_(window) {
  check_invariant(!window || *window > 0, "hot_pair_window_size must be positive");
}

template <class Kind>
Result<void> PairStore<Kind>::accumulate_batch(ChunkStats&& stats, Accumulation& accumulation) {
  for (const auto& [symbol, count] : stats.symbol_counts) {
    if (accumulation.known_symbols.contains(symbol)) continue;
    const PairT addition{Kind::kMarker, symbol};
    if (auto found = table_.find(addition); found != table_.end()) {
      if (auto status = add_count(found->second.freq, count); !status) return status;
      continue;
    }
    if (!accumulation.vocabulary_contents) {
      auto& contents = accumulation.vocabulary_contents.emplace();
      for (const auto& token : vocabulary_->tokens()) contents.insert(*token);
    }
    if (accumulation.vocabulary_contents->contains(*vocabulary_->content_of(symbol))) {
      accumulation.known_symbols.insert(symbol);
      continue;
    }
    table_.emplace(addition, Entry{count, 0, true});
  }
  for (auto& [pair, stat] : stats.pairs) {
    Entry& entry = table_[pair];
    if (auto status = add_count(entry.freq, stat.count); !status) return status;
    if (windowed()) continue;
    if (entry.occurs_in == 0) entry.occurs_in = slab_.insert(OccurrenceList{});
    slab_.at(entry.occurs_in).add_all(stat.words);
  }
  return ok();
}

template <class Kind>
void PairStore<Kind>::rebuild_heap() {
  if (windowed()) {
    heap_ = top_k(false);
    frontier_floor_.reset();
    if (heap_.size() == *window_) frontier_floor_ = heap_.back();
    std::make_heap(heap_.begin(), heap_.end(), less_);
    return;
  }
  heap_.clear();
  for (const auto& [pair, entry] : table_) {
    if (entry.freq >= 1) heap_.push_back(Candidate<Kind>{entry.freq, pair, entry.is_addition});
  }
  std::make_heap(heap_.begin(), heap_.end(), less_);
}

template <class Kind>
bool PairStore<Kind>::is_current(const Candidate<Kind>& candidate) const {
  const Entry* entry = find(candidate.pair);
  return candidate.freq >= 1 && entry != nullptr && entry->freq == candidate.freq;
}

// Stale candidates cost memory until popped; once the heap holds twice as many candidates as
// there are pairs, one pass drops them all (amortised O(1) per push). Dropping them changes
// nothing popped later: a stale candidate is always refused.
template <class Kind>
void PairStore<Kind>::drop_stale_candidates() {
  std::erase_if(heap_, [this](const Candidate<Kind>& candidate) { return !is_current(candidate); });
  std::make_heap(heap_.begin(), heap_.end(), less_);
}

template <class Kind>
void PairStore<Kind>::push_candidate(PairT pair) {
  const Entry* entry = find(pair);
  if (entry == nullptr || entry->freq < 1) return;
  const Candidate<Kind> candidate = candidate_of(pair, *entry);
  if (frontier_floor_ && less_(candidate, *frontier_floor_)) return;
  heap_.push_back(candidate);
  std::push_heap(heap_.begin(), heap_.end(), less_);
  if (heap_.size() > 2 * table_.size() + 4096) drop_stale_candidates();
}

template <class Kind>
std::optional<typename PairStore<Kind>::Taken> PairStore<Kind>::pop_winner() {
  while (true) {
    if (heap_.empty()) {
      // The frontier ran out: every pair left ranks below its floor, so the next best is among
      // the K best of the table.
      if (!frontier_floor_) return std::nullopt;
      rebuild_heap();
      if (heap_.empty()) return std::nullopt;
    }
    std::pop_heap(heap_.begin(), heap_.end(), less_);
    const Candidate<Kind> candidate = heap_.back();
    heap_.pop_back();
    if (excluded_ != nullptr && (excluded_->contains(candidate.pair.left) || excluded_->contains(candidate.pair.right))) {
      continue;
    }
    if (!is_current(candidate)) continue;
    if (windowed() && !candidate.has_target && find(candidate.pair)->occurs_in == 0) {
      hydrate_top_k(candidate.pair);
    }
    return take_pair(candidate.pair);
  }
}

template <class Kind>
std::optional<typename PairStore<Kind>::Taken> PairStore<Kind>::take_pair(PairT pair) {
  auto found = table_.find(pair);
  if (found == table_.end()) return std::nullopt;
  const Entry entry = found->second;
  table_.erase(found);
  resident_.erase(pair);
  std::vector<WordIndex> occurrences;
  if (entry.occurs_in != 0) occurrences = slab_.take(entry.occurs_in).take_distinct();
  if (entry.is_addition) {
    return Taken{pair, pair.right, make_token<Unit>({}), vocabulary_->content_of(pair.right),
                 entry.freq, std::move(occurrences)};
  }
  return Taken{pair, std::nullopt, vocabulary_->content_of(pair.left),
               vocabulary_->content_of(pair.right), entry.freq, std::move(occurrences)};
}

template <class Kind>
void PairStore<Kind>::put_back_pair(Taken&& taken) {
  OccurrenceList list;
  list.add_all(taken.occurs_in);
  table_.insert_or_assign(taken.pair, Entry{taken.freq, slab_.insert(std::move(list)), false});
  if (windowed()) {
    resident_.insert(taken.pair);
    note_resident_peak();
  }
}

template <class Kind>
Result<std::vector<typename PairStore<Kind>::PairT>> PairStore<Kind>::apply_deltas(
    PairT merged, Symbol new_symbol, ChangesMap<Symbol>&& changes) {
  std::vector<PairT> touched;
  touched.reserve(changes.size());
  for (auto& [pair, change] : changes) {
    if (pair == merged || (change.delta == 0 && change.gained_in.empty())) continue;
    Entry& entry = table_[pair];
    if (auto status = add_count(entry.freq, change.delta); !status) {
      return std::unexpected(std::move(status.error()));
    }
    if (windowed()) {
      apply_window_change(pair, entry, new_symbol, std::move(change));
    } else if (!change.gained_in.empty()) {
      if (entry.occurs_in == 0) entry.occurs_in = slab_.insert(OccurrenceList{});
      slab_.at(entry.occurs_in).add_all(change.gained_in);
    }
    touched.push_back(pair);
  }
  if (windowed()) note_resident_peak();
  return touched;
}

template <class Kind>
typename PairStore<Kind>::Footprint PairStore<Kind>::footprint() const {
  const std::uint64_t occurrences = slab_.occupied_capacity();
  return Footprint{
      table_.size(),
      static_cast<std::uint64_t>(table_.max_load()) * sizeof(typename decltype(table_)::value_type),
      static_cast<std::uint64_t>(slab_.slot_capacity()) * OccurrenceSlab::slot_bytes(),
      occurrences,
      occurrences * sizeof(WordIndex),
      static_cast<std::uint64_t>(heap_.capacity()) * sizeof(Candidate<Kind>),
  };
}

// The window's members are defined, and instantiated, in pair_window.cpp.
template class PairStore<ByteUnit>;
template class PairStore<CharUnit>;

}  // namespace vellum
