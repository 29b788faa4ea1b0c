// BigramCounter: Unicode bigram frequencies over texts, batches and other counters, counted
// between the special tokens of its own copy of a pre-tokenizer (its word pattern is not used).
//
// A counter is used by one thread at a time; batch counting runs on the shared pool into
// per-worker maps that are summed on the calling thread, so counts never depend on the thread
// count.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bigram/bigram_counts.hpp"
#include "pretokenizer/pre_tokenizer.hpp"
#include "util/error.hpp"

namespace vellum {

// Counts the bigrams of each stretch of `text` between special-token matches into `counts`
// (pairs never span a special token); the increments before a failure stay made.
[[nodiscard]] Result<void> count_text_bigrams(const PreTokenizer& pre_tokenizer, std::string_view text,
                                              BigramMap& counts);

class BigramCounter {
 public:
  explicit BigramCounter(PreTokenizer pre_tokenizer, BigramMap counts = {})
      : pre_tokenizer_(std::move(pre_tokenizer)), counts_(std::move(counts)) {}

  // Counts straight into the counter: a failure leaves the increments made before it.
  [[nodiscard]] Result<void> add_text(std::string_view text) {
    return count_text_bigrams(pre_tokenizer_, text, counts_);
  }
  // The bigrams of `texts`, counted in parallel; the counter is not changed.
  [[nodiscard]] Result<BigramMap> count_batch(std::span<const std::string> texts) const;
  // count_batch, then every count added with the overflow check.
  [[nodiscard]] Result<void> add_batch(std::span<const std::string> texts);
  // Adds `other`'s counts; on overflow the entries added before the failing one stay added.
  [[nodiscard]] Result<void> merge(const BigramCounter& other) { return absorb_bigrams(counts_, other.counts_); }

  // (bigram, count) in ascending code-point order, which is the UTF-8 byte order of the bigrams.
  std::vector<std::pair<BigramKey, std::int64_t>> items() const { return sorted_bigrams(counts_); }
  BigramSelection select(std::uint64_t top_k, std::int64_t min_freq) const {
    return select_bigrams(counts_, top_k, min_freq);
  }

  const PreTokenizer& pre_tokenizer() const { return pre_tokenizer_; }
  const BigramMap& counts() const { return counts_; }

 private:
  PreTokenizer pre_tokenizer_;
  BigramMap counts_;
};

}  // namespace vellum
