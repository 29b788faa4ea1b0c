// PairStore: the frequency of every adjacent symbol pair of a trainer's words, the words each
// pair occurs in, and the lazy merge heap that ranks them (exact mode).
//
// Frequencies are signed and may fall to zero or below; only pairs of frequency 1 or more
// become candidates. The heap is lazy: a frequency change pushes a new candidate and stale ones
// are dropped when popped, or all at once when they come to outnumber the live pairs. Entries
// hold no token contents (they follow from the symbols), which keeps an entry at 16 bytes.
// Owned by one trainer and used only by the thread that runs it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <boost/unordered/unordered_flat_map.hpp>
#include <boost/unordered/unordered_flat_set.hpp>

#include "bpe/pair/candidate.hpp"
#include "bpe/pair/occurrences.hpp"
#include "bpe/pair_changes.hpp"
#include "bpe/token_table.hpp"
#include "util/error.hpp"
#include "util/hash.hpp"

namespace vellum {

template <class Kind>
class PairStore {
 public:
  using Symbol = typename Kind::Symbol;
  using Unit = typename Kind::Unit;
  using PairT = Pair<Symbol>;

  struct Entry {
    std::int64_t freq = 0;
    std::uint32_t occurs_in = 0;  // slab handle, 0 for none
    bool is_addition = false;     // a character addition of the pair's right symbol
  };

  // A pair taken out of the store, with its contents and its distinct occurrence list.
  struct Taken {
    PairT pair;
    std::optional<Symbol> target;  // present for a character addition
    Token<Unit> left_content;
    Token<Unit> right_content;
    std::int64_t freq;
    std::vector<WordIndex> occurs_in;
  };

  // Initial statistics of one chunk of words.
  struct PairStat {
    std::int64_t count = 0;
    std::vector<WordIndex> words;  // ascending, each word once
  };
  struct ChunkStats {
    boost::unordered_flat_map<Symbol, std::int64_t, ValueHash<Symbol>> symbol_counts;
    boost::unordered_flat_map<PairT, PairStat, ValueHash<PairT>> pairs;
  };

  using SymbolSet = boost::unordered_flat_set<Symbol, ValueHash<Symbol>>;

  // What one initialisation run remembers between batches.
  struct Accumulation {
    boost::unordered_flat_set<Symbol, ValueHash<Symbol>> known_symbols;
    std::optional<boost::unordered_flat_set<Units<Unit>, VectorHash<Unit>>> vocabulary_contents;
  };

  // `vocabulary` must outlive the store; the candidate order reads contents from it.
  PairStore(TieBreak tie_break, const TokenTable<Kind>& vocabulary)
      : vocabulary_(&vocabulary), less_(tie_break, vocabulary) {}

  // Folds one chunk's statistics in; FrequencyOverflow if a frequency no longer fits.
  [[nodiscard]] Result<void> accumulate_batch(ChunkStats&& stats, Accumulation& accumulation);
  // One candidate per entry of frequency 1 or more.
  void rebuild_heap();
  // A fresh candidate for `pair` when it is present with frequency 1 or more.
  void push_candidate(PairT pair);
  // The best current pair, taken out of the store; nothing when no candidate is left.
  std::optional<Taken> pop_winner();
  // Reinserts a taken ordinary pair with its occurrences.
  void put_back_pair(Taken&& taken);
  // Folds the changes of one merge in and returns the pairs whose candidates must be pushed.
  // Every word in which a pair gained occurrences joins its occurrence list, whatever the sign
  // of the pair's net change, so that the list never misses a word that contains the pair.
  [[nodiscard]] Result<std::vector<PairT>> apply_deltas(PairT merged, ChangesMap<Symbol>&& changes);

  // pop_winner refuses pairs with a symbol in `symbols` (null for none), which must outlive the
  // store or the next exclude call.
  void exclude(const SymbolSet* symbols) { excluded_ = symbols; }
  // visit(symbol, freq) for every character addition, in no particular order.
  template <class Visit>
  void for_each_addition(Visit&& visit) const {
    for (const auto& [pair, entry] : table_) {
      if (entry.is_addition) visit(pair.right, entry.freq);
    }
  }

  std::size_t pair_count() const { return table_.size(); }
  // The entry of `pair`, or null. The pointer stays valid until the store next changes (any
  // non-const call may rehash the table).
  const Entry* find(PairT pair) const {
    auto found = table_.find(pair);
    return found == table_.end() ? nullptr : &found->second;
  }

 private:
  std::optional<Taken> take_pair(PairT pair);
  bool is_current(const Candidate<Kind>& candidate) const;
  void drop_stale_candidates();

  const TokenTable<Kind>* vocabulary_;
  CandidateLess<Kind> less_;
  boost::unordered_flat_map<PairT, Entry, ValueHash<PairT>> table_;
  OccurrenceSlab slab_;
  std::vector<Candidate<Kind>> heap_;
  const SymbolSet* excluded_ = nullptr;
};

}  // namespace vellum
