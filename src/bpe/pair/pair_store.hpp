// PairStore: the frequency of every adjacent symbol pair of a trainer's words, the words each
// pair occurs in, and the lazy merge heap that ranks them.
//
// Frequencies are signed and may fall to zero or below; only pairs of frequency 1 or more
// become candidates. The heap is lazy: a frequency change pushes a new candidate and stale ones
// are dropped when popped, or all at once when they come to outnumber the live pairs. Entries
// hold no token contents (they follow from the symbols), which keeps an entry at 16 bytes.
//
// Exact mode keeps an occurrence list for every pair. Window mode (a window of K pairs) keeps
// every frequency exact but occurrence lists only for resident pairs: the best K after each
// hydration (a scan of the whole inventory, made when a cold pair wins), pairs that a merge
// creates with a frequency of at least the threshold, and pairs put back; it prunes them to the
// best K when they exceed 2K. The heap then holds a top-K frontier and the candidates pushed
// since that rank at least as high as its floor. Both modes make the same merges.
// Owned by one trainer and used only by the thread that runs it; it reads the trainer's
// vocabulary and words, which must outlive it.
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
#include "bpe/word_record.hpp"
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

  // The window's counters; each addition saturates at the largest value.
  struct WindowCounters {
    std::uint64_t hydration_scans = 0;
    std::uint64_t hydrated_word_entries = 0;
    std::uint64_t batch_prunes = 0;
    std::uint64_t prune_evictions = 0;
    std::uint64_t peak_resident_pairs = 0;

    // Adds the counters of an earlier run of the same training, keeping the larger peak.
    void carry(const WindowCounters& earlier);
  };

  // Capacities of the store's containers, for the trainer's memory figures.
  struct Footprint {
    std::uint64_t pair_entries;
    std::uint64_t pair_table_bytes;
    std::uint64_t slab_slot_bytes;
    std::uint64_t occurrence_capacity_entries;
    std::uint64_t occurrence_capacity_bytes;
    std::uint64_t merge_heap_bytes;
  };

  // `vocabulary` and `words` must outlive the store: the candidate order reads contents from the
  // vocabulary, and window hydrations scan the words. `window` is absent or at least 1.
  PairStore(TieBreak tie_break, const TokenTable<Kind>& vocabulary, std::optional<std::uint64_t> window,
            const std::vector<WordRecord<Kind>>& words);

  bool windowed() const { return window_.has_value(); }

  // Folds one chunk's statistics in; FrequencyOverflow if a frequency no longer fits.
  [[nodiscard]] Result<void> accumulate_batch(ChunkStats&& stats, Accumulation& accumulation);
  // Exact mode: one candidate per entry of frequency 1 or more. Window mode: the K best of them,
  // the K-th becoming the frontier floor when there are K.
  void rebuild_heap();
  // Window mode: gives the K best ordinary pairs occurrence lists, scanning the inventory for
  // those that had none. `required`, when given, must be among them.
  void hydrate_top_k(std::optional<PairT> required);
  // Window mode: evicts every resident pair but the K best when more than 2K are resident.
  void prune_if_over();
  // A fresh candidate for `pair` when it is present with frequency 1 or more.
  void push_candidate(PairT pair);
  // The best current pair, taken out of the store; nothing when no candidate is left.
  std::optional<Taken> pop_winner();
  // Reinserts a taken ordinary pair with its occurrences.
  void put_back_pair(Taken&& taken);
  // Folds the changes of one merge in and returns the pairs whose candidates must be pushed.
  // Every word in which a pair gained occurrences joins its occurrence list, whatever the sign
  // of the pair's net change, so that the list never misses a word that contains the pair.
  // `new_symbol` is the merge's new id: in window mode a pair containing it was created by this
  // merge, so its gained words are all of its occurrences.
  [[nodiscard]] Result<std::vector<PairT>> apply_deltas(PairT merged, Symbol new_symbol, ChangesMap<Symbol>&& changes);

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
  std::size_t resident_count() const { return resident_.size(); }
  const WindowCounters& window_counters() const { return counters_; }
  WindowCounters& window_counters() { return counters_; }
  Footprint footprint() const;
  // The entry of `pair`, or null. The pointer stays valid until the store next changes (any
  // non-const call may rehash the table).
  const Entry* find(PairT pair) const {
    auto found = table_.find(pair);
    return found == table_.end() ? nullptr : &found->second;
  }

 private:
  using Ranked = std::vector<Candidate<Kind>>;

  std::optional<Taken> take_pair(PairT pair);
  bool is_current(const Candidate<Kind>& candidate) const;
  void drop_stale_candidates();
  Candidate<Kind> candidate_of(PairT pair, const Entry& entry) const {
    return Candidate<Kind>{entry.freq, pair, entry.is_addition};
  }
  // The K best candidates of frequency 1 or more (ordinary pairs only when asked), best first.
  Ranked top_k(bool ordinary_only) const;
  void make_resident(PairT pair, Entry& entry, OccurrenceList list);
  void drop_occurrences(PairT pair, Entry& entry);
  void set_threshold(const Ranked& ranked);
  void note_resident_peak();
  // Window mode's handling of one change of apply_deltas.
  void apply_window_change(PairT pair, Entry& entry, Symbol new_symbol, PairChange<Symbol>&& change);

  const TokenTable<Kind>* vocabulary_;
  const std::vector<WordRecord<Kind>>* words_;
  CandidateLess<Kind> less_;
  boost::unordered_flat_map<PairT, Entry, ValueHash<PairT>> table_;
  OccurrenceSlab slab_;
  std::vector<Candidate<Kind>> heap_;

  std::optional<std::uint64_t> window_;
  boost::unordered_flat_set<PairT, ValueHash<PairT>> resident_;
  bool initialized_ = false;
  std::int64_t threshold_ = 0;
  std::optional<Candidate<Kind>> frontier_floor_;
  WindowCounters counters_;
  const SymbolSet* excluded_ = nullptr;
};

}  // namespace vellum
