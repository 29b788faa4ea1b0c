// IdTokens: a vocabulary as (id, token) entries in ascending id order; ids may have gaps.
#pragma once

#include <algorithm>
#include <utility>
#include <vector>

#include "bpe/ids.hpp"
#include "bpe/units.hpp"

namespace vellum {

template <class Unit>
using IdTokens = std::vector<std::pair<Idx, Token<Unit>>>;

// `entries`, given in any order, as IdTokens: sorted by id; of several entries with one id, the
// last one given is kept.
template <class Unit>
IdTokens<Unit> sorted_by_id(IdTokens<Unit> entries) {
  std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  IdTokens<Unit> unique;
  unique.reserve(entries.size());
  for (auto& entry : entries) {
    if (!unique.empty() && unique.back().first == entry.first) {
      unique.back() = std::move(entry);
    } else {
      unique.push_back(std::move(entry));
    }
  }
  return unique;
}

}  // namespace vellum
