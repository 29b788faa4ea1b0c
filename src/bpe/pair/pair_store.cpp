#include "bpe/pair/pair_store.hpp"

#include <algorithm>

#include "bpe/unit_kinds.hpp"
#include "util/counting.hpp"

namespace vellum {

template <class Kind>
Result<void> PairStore<Kind>::accumulate_batch(ChunkStats&& stats, Accumulation& accumulation,
                                               const TokenTable<Kind>& vocabulary) {
  for (const auto& [symbol, count] : stats.symbol_counts) {
    if (accumulation.known_symbols.contains(symbol)) continue;
    const PairT addition{Kind::kMarker, symbol};
    if (auto found = table_.find(addition); found != table_.end()) {
      if (auto status = add_count(found->second.freq, count); !status) return status;
      continue;
    }
    Token<Unit> content = vocabulary.content_of(symbol);
    if (!accumulation.vocabulary_contents) {
      auto& contents = accumulation.vocabulary_contents.emplace();
      for (const auto& token : vocabulary.tokens()) contents.insert(*token);
    }
    if (accumulation.vocabulary_contents->contains(*content)) {
      accumulation.known_symbols.insert(symbol);
      continue;
    }
    table_.emplace(addition, Entry{symbol, make_token<Unit>({}), std::move(content), count, 0});
  }
  for (auto& [pair, stat] : stats.pairs) {
    Entry& entry = find_or_insert(pair, vocabulary);
    if (auto status = add_count(entry.freq, stat.count); !status) return status;
    if (entry.occurs_in == 0) entry.occurs_in = slab_.insert(OccurrenceList{});
    slab_.at(entry.occurs_in).add_all(stat.words);
  }
  return ok();
}

template <class Kind>
typename PairStore<Kind>::Entry& PairStore<Kind>::find_or_insert(PairT pair,
                                                                 const TokenTable<Kind>& vocabulary) {
  if (auto found = table_.find(pair); found != table_.end()) return found->second;
  return table_
      .emplace(pair, Entry{std::nullopt, vocabulary.content_of(pair.left),
                           vocabulary.content_of(pair.right), 0, 0})
      .first->second;
}

template <class Kind>
Candidate<Kind> PairStore<Kind>::candidate_of(PairT pair, const Entry& entry) const {
  Candidate<Kind> candidate{nullptr, nullptr, entry.freq, pair, entry.target.has_value()};
  if (tie_break_ == TieBreak::LargestContent) {
    candidate.left_content = entry.left_content;
    candidate.right_content = entry.right_content;
  }
  return candidate;
}

template <class Kind>
void PairStore<Kind>::rebuild_heap() {
  heap_.clear();
  for (const auto& [pair, entry] : table_) {
    if (entry.freq >= 1) heap_.push_back(candidate_of(pair, entry));
  }
  std::make_heap(heap_.begin(), heap_.end(), CandidateLess<Kind>{tie_break_});
}

template <class Kind>
void PairStore<Kind>::push_candidate(PairT pair) {
  const Entry* entry = find(pair);
  if (entry == nullptr || entry->freq < 1) return;
  heap_.push_back(candidate_of(pair, *entry));
  std::push_heap(heap_.begin(), heap_.end(), CandidateLess<Kind>{tie_break_});
}

template <class Kind>
std::optional<typename PairStore<Kind>::Taken> PairStore<Kind>::pop_winner() {
  const CandidateLess<Kind> less{tie_break_};
  while (!heap_.empty()) {
    std::pop_heap(heap_.begin(), heap_.end(), less);
    Candidate<Kind> candidate = std::move(heap_.back());
    heap_.pop_back();
    if (candidate.freq < 1) continue;
    const Entry* entry = find(candidate.pair);
    if (entry == nullptr || entry->freq != candidate.freq) continue;
    if (candidate.left_content && (!same_content(candidate.left_content, entry->left_content) ||
                                   !same_content(candidate.right_content, entry->right_content))) {
      continue;
    }
    return take_pair(candidate.pair);
  }
  return std::nullopt;
}

template <class Kind>
std::optional<typename PairStore<Kind>::Taken> PairStore<Kind>::take_pair(PairT pair) {
  auto found = table_.find(pair);
  if (found == table_.end()) return std::nullopt;
  Entry entry = std::move(found->second);
  table_.erase(found);
  std::vector<WordIndex> occurrences;
  if (entry.occurs_in != 0) occurrences = slab_.take(entry.occurs_in).take_distinct();
  return Taken{pair, entry.target, std::move(entry.left_content), std::move(entry.right_content),
               entry.freq, std::move(occurrences)};
}

template <class Kind>
void PairStore<Kind>::put_back_pair(Taken&& taken) {
  OccurrenceList list;
  list.add_all(taken.occurs_in);
  const std::uint64_t handle = slab_.insert(std::move(list));
  table_.insert_or_assign(taken.pair, Entry{std::nullopt, std::move(taken.left_content),
                                            std::move(taken.right_content), taken.freq, handle});
}

template <class Kind>
Result<std::vector<typename PairStore<Kind>::PairT>> PairStore<Kind>::apply_deltas(
    PairT merged, ChangesMap<Symbol>&& changes, const TokenTable<Kind>& vocabulary) {
  std::vector<PairT> touched;
  touched.reserve(changes.size());
  for (auto& [pair, change] : changes) {
    if (pair == merged || (change.delta == 0 && change.gained_in.empty())) continue;
    Entry& entry = find_or_insert(pair, vocabulary);
    if (auto status = add_count(entry.freq, change.delta); !status) {
      return std::unexpected(std::move(status.error()));
    }
    if (!change.gained_in.empty()) {
      if (entry.occurs_in == 0) entry.occurs_in = slab_.insert(OccurrenceList{});
      slab_.at(entry.occurs_in).add_all(change.gained_in);
    }
    touched.push_back(pair);
  }
  return touched;
}

template class PairStore<ByteUnit>;
template class PairStore<CharUnit>;

}  // namespace vellum
