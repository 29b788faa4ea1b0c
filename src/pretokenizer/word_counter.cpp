#include "pretokenizer/word_counter.hpp"

#include "util/parallel.hpp"

namespace vellum {

Result<void> WordCounter::add_text(std::string_view text) {
  WordViewMap words;
  auto status = pre_tokenizer_.for_each_word(
      text, [&words](std::string_view word) { return count_word(words, word); });
  if (!status) return status;
  return absorb_words(counts_, words);
}

// Batches are counted into maps of views into the texts: a batch's distinct words cost no
// allocation until they reach the counter, where only words new to it are copied. Counting
// small batches into owning maps spent a quarter of the time copying and freeing words.
Result<WordViewMap> WordCounter::count_batch(std::span<const std::string> texts) const {
  return parallel_fold<WordViewMap>(
      texts.size(),
      [&](std::size_t index, WordViewMap& words) {
        return pre_tokenizer_.for_each_word(
            texts[index], [&words](std::string_view word) { return count_word(words, word); });
      },
      [](WordViewMap& into, WordViewMap&& from) { return combine_word_maps(into, std::move(from)); });
}

Result<void> WordCounter::add_batch(std::span<const std::string> texts) {
  auto words = count_batch(texts);
  if (!words) return std::unexpected(std::move(words.error()));
  return absorb(*words);
}

}  // namespace vellum
