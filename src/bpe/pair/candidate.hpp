// Candidate: one entry of the merge heap, and the order that decides which pair merges next.
//
// Greater wins: higher frequency; then a character addition over an ordinary pair; then, under
// largest_content, the larger left content and then the larger right content; under
// smallest_pair_id (and, to make the order total, after equal contents) the smaller left symbol
// and then the smaller right symbol. A total order keeps training reproducible: equal
// candidates never depend on the order in which they were pushed.
#pragma once

#include <cstdint>

#include "bpe/ids.hpp"
#include "bpe/units.hpp"

namespace vellum {

enum class TieBreak { SmallestPairId, LargestContent };

template <class Kind>
struct Candidate {
  using Symbol = typename Kind::Symbol;
  using Unit = typename Kind::Unit;

  // Present only under largest_content, so the default order never touches reference counts.
  Token<Unit> left_content;
  Token<Unit> right_content;
  std::int64_t freq;
  Pair<Symbol> pair;
  bool has_target;
};

// The heap's "less": true when `a` loses to `b`.
template <class Kind>
struct CandidateLess {
  TieBreak tie_break;

  bool operator()(const Candidate<Kind>& a, const Candidate<Kind>& b) const {
    if (a.freq != b.freq) return a.freq < b.freq;
    if (a.has_target != b.has_target) return b.has_target;
    if (tie_break == TieBreak::LargestContent) {
      if (auto order = *a.left_content <=> *b.left_content; order != 0) return order < 0;
      if (auto order = *a.right_content <=> *b.right_content; order != 0) return order < 0;
    }
    return b.pair < a.pair;
  }
};

}  // namespace vellum
