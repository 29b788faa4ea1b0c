// Word maps: hash maps from word to count, and the operations every word consumer shares.
//
// WordMap owns its words; WordViewMap holds views into text that the caller keeps alive (used
// while counting one text or one file segment, so that repeated words allocate nothing).
// Neither is safe for concurrent writes; outputs never depend on their (seeded) hash order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <boost/unordered/unordered_flat_map.hpp>
#include <tbb/parallel_sort.h>

#include "util/counting.hpp"
#include "util/error.hpp"
#include "util/hash.hpp"

namespace vellum {

using WordMap = boost::unordered_flat_map<std::string, std::int64_t, TextHash, TextEqual>;
using WordViewMap = boost::unordered_flat_map<std::string_view, std::int64_t, TextHash, TextEqual>;

// A word and its count; the view is valid as long as the map or text it came from.
struct WordCount {
  std::string_view word;
  std::int64_t count;
};

// The count of `word` in `map`, inserted as 0 first if absent (the word is copied into a map
// that owns its words only when it is new).
template <class Map>
std::int64_t& count_of(Map& map, std::string_view word) {
  if (auto found = map.find(word); found != map.end()) return found->second;
  return map.emplace(typename Map::key_type(word), 0).first->second;
}

// Adds one occurrence of `word`.
template <class Map>
[[nodiscard]] Result<void> count_word(Map& map, std::string_view word) {
  return add_count(count_of(map, word), 1);
}

// Adds every entry of `from` into `into`, reserving room once. On overflow it stops with
// FrequencyOverflow: entries before the failing one stay added, the failing one is unchanged.
template <class Into, class From>
[[nodiscard]] Result<void> absorb_words(Into& into, const From& from) {
  reserve_at_least(into, into.size() + from.size());
  for (const auto& [word, count] : from) {
    if (auto status = add_count(count_of(into, word), count); !status) {
      return status;
    }
  }
  return ok();
}

// Sums two partial maps by adding the smaller into the larger; the sum ends in `into`.
template <class Map>
[[nodiscard]] Result<void> combine_word_maps(Map& into, Map&& from) {
  if (from.size() > into.size()) std::swap(into, from);
  return absorb_words(into, from);
}

// The entries of `map` in ascending order of the words' bytes.
template <class Map>
std::vector<WordCount> sorted_word_counts(const Map& map) {
  std::vector<WordCount> words;
  words.reserve(map.size());
  for (const auto& [word, count] : map) words.push_back(WordCount{word, count});
  tbb::parallel_sort(words.begin(), words.end(),
                     [](const WordCount& a, const WordCount& b) { return a.word < b.word; });
  return words;
}

}  // namespace vellum
