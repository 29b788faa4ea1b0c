// Candidate: one entry of the merge heap, and the order that decides which pair merges next.
//
// Greater wins: higher frequency; then a character addition over an ordinary pair; then, under
// largest_content, the larger left content and then the larger right content; under
// smallest_pair_id (and, to make the order total, after equal contents) the smaller left symbol
// and then the smaller right symbol. A total order keeps training reproducible: equal
// candidates never depend on the order in which they were pushed.
//
// A pair's contents are a function of its symbols (ids name immutable tokens, Char(c) is the
// character c), so candidates carry no contents: the order reads them from the vocabulary.
#pragma once

#include <algorithm>
#include <compare>
#include <cstdint>
#include <span>

#include "bpe/ids.hpp"
#include "bpe/token_table.hpp"
#include "bpe/units.hpp"

namespace vellum {

enum class TieBreak { SmallestPairId, LargestContent };

template <class Kind>
struct Candidate {
  std::int64_t freq;
  Pair<typename Kind::Symbol> pair;
  bool has_target;  // a character addition
};

// The heap's "less": true when `a` loses to `b`.
template <class Kind>
class CandidateLess {
 public:
  CandidateLess(TieBreak tie_break, const TokenTable<Kind>& vocabulary)
      : tie_break_(tie_break), vocabulary_(&vocabulary) {}

  bool operator()(const Candidate<Kind>& a, const Candidate<Kind>& b) const {
    if (a.freq != b.freq) return a.freq < b.freq;
    if (a.has_target != b.has_target) return b.has_target;
    if (tie_break_ == TieBreak::LargestContent) {
      // A character addition's left content is empty.
      if (auto order = compare(a.has_target, a.pair.left, b.has_target, b.pair.left); order != 0) {
        return order < 0;
      }
      if (auto order = compare(false, a.pair.right, false, b.pair.right); order != 0) return order < 0;
    }
    return b.pair < a.pair;
  }

 private:
  using Unit = typename Kind::Unit;
  using Symbol = typename Kind::Symbol;

  std::span<const Unit> content(bool empty, Symbol symbol, Unit& scratch) const {
    if (empty) return {};
    if constexpr (std::is_same_v<Symbol, CharIdx>) {
      if (symbol.is_char()) {
        scratch = Character::scalar(symbol.char_value());
        return {&scratch, 1};
      }
    }
    return *vocabulary_->at(to_id(symbol));
  }

  std::strong_ordering compare(bool a_empty, Symbol a, bool b_empty, Symbol b) const {
    Unit a_scratch{};
    Unit b_scratch{};
    const auto left = content(a_empty, a, a_scratch);
    const auto right = content(b_empty, b, b_scratch);
    return std::lexicographical_compare_three_way(left.begin(), left.end(), right.begin(), right.end());
  }

  TieBreak tie_break_;
  const TokenTable<Kind>* vocabulary_;
};

}  // namespace vellum
