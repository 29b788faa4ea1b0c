// Rewriting words for one merge of a pair (A, B) into a new symbol N, and the frequency changes
// that the rewrite causes.
//
// Shared by the trainers (their word inventories) and the encoder (its lists of distinct words):
// any word type with `symbols` (a vector of symbols) and `frequency` (signed 64-bit) works.
// Results never depend on how the words are split among threads or in which order they run.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "bpe/ids.hpp"
#include "bpe/pair_changes.hpp"

namespace vellum {

// The rewrite of one word: its new symbols and its pair deltas, in order of first occurrence.
template <class Symbol>
struct WordRewrite {
  std::vector<Symbol> symbols;
  std::vector<PairDelta<Symbol>> deltas;
};

// Replaces every non-overlapping left-to-right occurrence of `pair` by `merged`; nothing when the
// word does not contain the pair.
template <class Symbol>
std::optional<WordRewrite<Symbol>> merge_word(std::span<const Symbol> symbols, std::int64_t frequency,
                                              Pair<Symbol> pair, Symbol merged);

// The threshold from which a merge is applied in parallel: the given one, else 65,536 below a
// million words and 1,024 from a million on.
std::uint64_t parallel_merge_threshold(std::optional<std::uint64_t> option, std::size_t word_count);

// Rewrites in place every listed word that contains `pair` and returns the changes map. Serial
// below `threshold` listed words, otherwise spread over the worker pool (words are only read in
// parallel; all writes follow). Requires: `occurrences` holds distinct indices into `words`.
template <class Word, class Symbol>
ChangesMap<Symbol> apply_merge_to_words(std::span<Word> words, std::span<const WordIndex> occurrences,
                                        Pair<Symbol> pair, Symbol merged, std::uint64_t threshold);

}  // namespace vellum
