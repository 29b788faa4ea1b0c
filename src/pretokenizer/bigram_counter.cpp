#include "pretokenizer/bigram_counter.hpp"

#include "util/parallel.hpp"

namespace vellum {

Result<void> count_text_bigrams(const PreTokenizer& pre_tokenizer, std::string_view text, BigramMap& counts) {
  return pre_tokenizer.for_each_segment(
      text, [&counts](std::string_view segment) { return count_bigrams(segment, counts); },
      [](std::string_view) {});
}

Result<BigramMap> BigramCounter::count_batch(std::span<const std::string> texts) const {
  return parallel_fold<BigramMap>(
      texts.size(),
      [&](std::size_t index, BigramMap& counts) { return count_text_bigrams(pre_tokenizer_, texts[index], counts); },
      combine_bigram_maps);
}

Result<void> BigramCounter::add_batch(std::span<const std::string> texts) {
  auto counts = count_batch(texts);
  if (!counts) return std::unexpected(std::move(counts.error()));
  return absorb_bigrams(counts_, *counts);
}

}  // namespace vellum
