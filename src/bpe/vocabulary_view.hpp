// VocabularyView: an immutable snapshot of an id-to-token map, as the Python Vocabulary shows it.
//
// Built by walking ids in ascending order and inserting (token, id): a token met again keeps its
// first position and takes the later id. Never changes after construction; safe to read from
// any number of threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <boost/unordered/unordered_flat_map.hpp>

#include "bpe/ids.hpp"
#include "bpe/units.hpp"
#include "util/hash.hpp"

namespace vellum {

template <class Unit>
class VocabularyView {
 public:
  using value_type = Unit;

  // `tokens[id]` is the token of `id`.
  explicit VocabularyView(const std::vector<Token<Unit>>& tokens) {
    for (std::size_t id = 0; id < tokens.size(); ++id) {
      const auto [position, inserted] = positions_.try_emplace(*tokens[id], entries_.size());
      if (inserted) {
        entries_.emplace_back(tokens[id], static_cast<Idx>(id));
      } else {
        entries_[position->second].second = static_cast<Idx>(id);
      }
    }
  }

  std::size_t size() const { return entries_.size(); }

  // The id of the token whose units are `units`.
  std::optional<Idx> get(const Units<Unit>& units) const {
    auto found = positions_.find(units);
    if (found == positions_.end()) return std::nullopt;
    return entries_[found->second].second;
  }

  // (token, id) in insertion order.
  const std::vector<std::pair<Token<Unit>, Idx>>& entries() const { return entries_; }

 private:
  std::vector<std::pair<Token<Unit>, Idx>> entries_;
  boost::unordered_flat_map<Units<Unit>, std::size_t, VectorHash<Unit>> positions_;
};

}  // namespace vellum
