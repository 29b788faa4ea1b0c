#include "bpe/rewrite/merge_words_impl.hpp"

namespace vellum {

std::uint64_t parallel_merge_threshold(std::optional<std::uint64_t> option, std::size_t word_count) {
  if (option) return *option;
  return word_count < 1'000'000 ? 65'536 : 1'024;
}

template std::optional<WordRewrite<Idx>> merge_word(std::span<const Idx>, std::int64_t, Pair<Idx>, Idx);
template std::optional<WordRewrite<CharIdx>> merge_word(std::span<const CharIdx>, std::int64_t,
                                                        Pair<CharIdx>, CharIdx);

}  // namespace vellum
