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

Result<WordMap> WordCounter::count_batch(std::span<const std::string> texts) const {
  return parallel_fold<WordMap>(
      texts.size(),
      [&](std::size_t index, WordMap& words) {
        return pre_tokenizer_.for_each_word(
            texts[index], [&words](std::string_view word) { return count_word(words, word); });
      },
      [](WordMap& into, WordMap&& from) { return combine_word_maps(into, std::move(from)); });
}

Result<void> WordCounter::add_batch(std::span<const std::string> texts) {
  auto words = count_batch(texts);
  if (!words) return std::unexpected(std::move(words.error()));
  return absorb(*std::move(words));
}

Result<void> WordCounter::absorb(WordMap&& words) {
  if (counts_.empty()) {
    counts_ = std::move(words);
    return ok();
  }
  return absorb_words(counts_, words);
}

}  // namespace vellum
