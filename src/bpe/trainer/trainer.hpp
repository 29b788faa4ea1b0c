// Trainer: BPE training over a word inventory, generic over the unit kind (ByteUnit, CharUnit).
//
// The vocabulary starts with the special tokens, then the 256 byte tokens; every applied step
// adds one id. Training is exactly determined by the inventory, the options and the vocabulary:
// the result never depends on the thread count, hash seeds or inventory order. A trainer is used
// by one thread at a time; its parallel work runs on the shared pool and is folded in a fixed
// order on the calling thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bpe/ids.hpp"
#include "bpe/merge_record.hpp"
#include "bpe/model.hpp"
#include "bpe/pair/candidate.hpp"
#include "bpe/pair/pair_store.hpp"
#include "bpe/token_table.hpp"
#include "bpe/units.hpp"
#include "bpe/word_record.hpp"
#include "pretokenizer/word_map.hpp"
#include "util/error.hpp"

namespace vellum {

enum class InitialAlphabet { Raw, ByteLevel };

struct TrainerOptions {
  std::optional<std::uint64_t> parallel_merge_min_occurs_in;
  std::optional<std::uint64_t> hot_pair_window_size;
  std::optional<std::int64_t> bigram_cutoff_freq;
  InitialAlphabet initial_alphabet = InitialAlphabet::Raw;
  TieBreak tie_break = TieBreak::SmallestPairId;
};

// Capacity-based byte counts of what a trainer stores (not process memory): each is a
// container's capacity times the size of its element as stored.
struct TrainerMemory {
  std::uint64_t estimated_persistent_bytes;  // the saturating sum of the seven byte counts below
  std::uint64_t word_entries;
  std::uint64_t word_storage_bytes;
  std::uint64_t pair_entries;
  std::uint64_t pair_table_bytes;
  std::uint64_t occurrence_set_header_bytes;
  std::uint64_t occurrence_capacity_entries;
  std::uint64_t occurrence_capacity_bytes;
  std::uint64_t merge_heap_bytes;
  std::uint64_t merge_storage_bytes;
  std::uint64_t vocab_entries;
  std::uint64_t vocab_token_bytes;
};

// The hot pair window's counters since the last init_training (or carried across a phase),
// with the current resident count and occurrence capacity.
struct WindowStats {
  std::uint64_t hydration_scans;
  std::uint64_t hydrated_word_entries;
  std::uint64_t batch_prunes;
  std::uint64_t prune_evictions;
  std::uint64_t peak_resident_pairs;
  std::uint64_t resident_pairs;
  std::uint64_t occurrence_capacity;
};

template <class Kind>
class Trainer {
 public:
  using Symbol = typename Kind::Symbol;
  using Unit = typename Kind::Unit;

  // Ids 0..n-1 for the special tokens in order, then the 256 byte tokens in the order of
  // `options.initial_alphabet`. `options` are as parse_trainer_options gives them (window size
  // and cutoff positive when present).
  Trainer(std::vector<std::string> special_tokens, TrainerOptions options);
  // Pinned in memory: the pair store refers to the vocabulary.
  Trainer(const Trainer&) = delete;
  Trainer& operator=(const Trainer&) = delete;

  // Replaces the inventory: each (word, frequency) in order, skipping words equal to a special
  // token. Vocabulary, merges and pair store are untouched until the next init_training.
  [[nodiscard]] Result<void> replace_inventory(std::span<const std::pair<std::string_view, std::int64_t>> words);

  // Counts the inventory into a fresh pair store and ranks its pairs.
  [[nodiscard]] Result<void> init_training();
  // Applies the best pair of the current store; TrainStep when none is left.
  [[nodiscard]] Result<std::size_t> step();
  // Checks the current state and snapshots it into a model; the trainer is not changed.
  [[nodiscard]] Result<BpeModel<Kind>> validate_model() const;
  // Initialises and applies winners until the vocabulary holds `target` tokens, the candidates
  // run out, or the next pair falls under the bigram cutoff.
  [[nodiscard]] Result<std::size_t> train_until(std::uint64_t target);

  // Byte-level fallback (bbpe_fallback.cpp). Trains to `target` in three phases: characters
  // up to a share `primary_vocab_ratio` of the growth, byte merges over the characters still
  // without a token, then characters again (those left out); the byte merges are composed into
  // this vocabulary. Afterwards the trainer is finalized (or failed) for good: step and
  // train_until refuse, init_training does nothing. Unicode trainers only.
  [[nodiscard]] Result<std::size_t> train_until_with_bbpe_fallback(std::uint64_t target, double primary_vocab_ratio);
  // Applies winners of the current store until `max_merges` were applied, none is left, or the
  // next one falls below `threshold` (then it is dropped). Returns the number applied.
  [[nodiscard]] Result<std::size_t> apply_winners_above(std::size_t max_merges, std::optional<std::int64_t> threshold);

  std::size_t vocab_size() const { return vocabulary_.size(); }
  // The trainer's own vocabulary and merge list: valid while the trainer lives, and they change
  // with every step and init_training; copy the Tokens inside to keep them longer.
  const TokenTable<Kind>& vocabulary() const { return vocabulary_; }
  const std::vector<MergeRecord<Kind>>& merges() const { return merges_; }
  const std::vector<std::string>& special_tokens() const { return special_tokens_; }
  std::optional<std::int64_t> last_merge_freq() const {
    return merges_.empty() ? std::nullopt : std::optional(merges_.back().frequency);
  }

  TrainerMemory memory_usage() const;
  // Absent without a hot pair window.
  std::optional<WindowStats> hot_pair_window_stats() const;
  // The window counters of the current run, to be carried over a re-initialisation with
  // carry_window_counters, which adds them to the new run's (a broken invariant without a window).
  using WindowCounters = typename PairStore<Kind>::WindowCounters;
  const WindowCounters& window_counters() const { return store_.window_counters(); }
  void carry_window_counters(const WindowCounters& earlier);

 private:
  using Store = PairStore<Kind>;

  Symbol symbol_of_unit(Unit unit) const;
  [[nodiscard]] Result<void> count_chunks();
  [[nodiscard]] Result<void> apply_winner(typename Store::Taken&& winner);
  void emit_size_metrics() const;

  // Byte-level fallback state: once the phase ran, training is over for this object.
  enum class Fallback { None, Finalized, Failed };
  // SpecError when the fallback state forbids further training.
  [[nodiscard]] Result<void> check_trainable() const;
  [[nodiscard]] Result<void> run_bbpe_phase(std::uint64_t target, double primary_vocab_ratio);

  std::vector<std::string> special_tokens_;
  TrainerOptions options_;
  TokenTable<Kind> vocabulary_;
  Idx byte_ids_[256];
  std::vector<WordRecord<Kind>> words_;
  std::vector<MergeRecord<Kind>> merges_;
  Store store_;
  std::optional<std::int64_t> last_winner_freq_;

  Fallback fallback_ = Fallback::None;
  std::size_t finalized_size_ = 0;
  // Symbols left out of counting and merging (the characters the byte-level phase covers).
  typename Store::SymbolSet excluded_;
};

}  // namespace vellum
