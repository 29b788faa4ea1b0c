// The frequency changes that rewriting words for one merge causes, per pair: what word rewriting
// produces and what the pair store folds in.
//
// Plain values; a ChangesMap is built by one thread and then handed over whole.
#pragma once

#include <cstdint>
#include <vector>

#include <boost/unordered/unordered_flat_map.hpp>

#include "bpe/ids.hpp"
#include "util/hash.hpp"

namespace vellum {

// One pair's change in one word: the frequency-weighted delta, and the change in the number of
// its occurrences (which decides whether the word joins the pair's occurrence list, whatever the
// sign of the word's frequency).
template <class Symbol>
struct PairDelta {
  Pair<Symbol> pair;
  std::int64_t delta;
  std::int32_t occurrences;
};

// The per-pair sum over all rewritten words.
template <class Symbol>
struct PairChange {
  std::int64_t delta = 0;
  // Words in which the pair gained occurrences.
  std::vector<WordIndex> gained_in;
};

template <class Symbol>
using ChangesMap = boost::unordered_flat_map<Pair<Symbol>, PairChange<Symbol>, ValueHash<Pair<Symbol>>>;

}  // namespace vellum
