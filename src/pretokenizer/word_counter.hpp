// WordCounter: word frequencies accumulated over texts, batches, sources, files and other
// counters, with the pre-tokenizer that splits its texts.
//
// Counts never wrap: an addition past the largest signed 64-bit value fails with
// FrequencyOverflow. Not safe for concurrent mutation; the Python layer grants one writer at a
// time. Const methods may run concurrently with each other.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pretokenizer/pre_tokenizer.hpp"
#include "pretokenizer/word_map.hpp"
#include "util/error.hpp"

namespace vellum {

class WordCounter {
 public:
  explicit WordCounter(PreTokenizer pre_tokenizer, WordMap counts = {})
      : pre_tokenizer_(std::move(pre_tokenizer)), counts_(std::move(counts)) {}

  // Counts the words of `text`; on failure nothing is added.
  [[nodiscard]] Result<void> add_text(std::string_view text);
  // Counts all texts in parallel (one local map per run of texts, folded smaller into larger);
  // on a counting failure nothing is added.
  [[nodiscard]] Result<void> add_batch(std::span<const std::string> texts);
  // The parallel count of `texts` without adding it; the words view `texts`.
  [[nodiscard]] Result<WordViewMap> count_batch(std::span<const std::string> texts) const;
  // Adds every entry; on overflow, entries before the failing one stay added.
  template <class Map>
  [[nodiscard]] Result<void> absorb(const Map& words) {
    return absorb_words(counts_, words);
  }
  // Adds every count of `other` (same partial effect on overflow). Requires: &other != this.
  [[nodiscard]] Result<void> merge(const WordCounter& other) { return absorb(other.counts_); }

  // The entries in ascending order of the words' bytes; views valid until the next mutation.
  std::vector<WordCount> words() const { return sorted_word_counts(counts_); }
  std::size_t size() const { return counts_.size(); }
  // Drops every entry, keeping the capacity.
  void clear() { counts_.clear(); }
  // Moves every entry out, leaving the counter empty with a new table.
  WordMap take_counts() { return std::exchange(counts_, WordMap{}); }

  const PreTokenizer& pre_tokenizer() const { return pre_tokenizer_; }
  const WordMap& counts() const { return counts_; }

 private:
  PreTokenizer pre_tokenizer_;
  WordMap counts_;
};

}  // namespace vellum
