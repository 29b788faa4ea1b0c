// The vocabulary-pair cut: an encoder's pre-tokenizer cuts words between adjacent units that no
// vocabulary token holds side by side, since no merge can ever join them.
//
// Byte form: one bit per ordered byte pair; words under 32 bytes are never cut, and cuts fall
// only before bytes that start a character. Character form: a set of ordered scalar pairs; every
// pair outside it is cut, whatever the word's length. Immutable once built; shared by copies of
// a pre-tokenizer and read by many threads.
#pragma once

#include <bitset>
#include <cstdint>
#include <string_view>
#include <variant>

#include "bigram/bigram_split.hpp"
#include "util/error.hpp"
#include "util/utf8.hpp"

namespace vellum {

class BytePairFilter {
 public:
  static constexpr std::size_t kMinCutLength = 32;
  void add(std::uint8_t left, std::uint8_t right) { pairs_.set(left * 256u + right); }
  bool contains(std::uint8_t left, std::uint8_t right) const { return pairs_.test(left * 256u + right); }

 private:
  std::bitset<256 * 256> pairs_;
};

class CharPairFilter {
 public:
  void add(char32_t left, char32_t right) { pairs_.insert(pack_bigram(left, right)); }
  bool contains(char32_t left, char32_t right) const { return pairs_.contains(pack_bigram(left, right)); }

 private:
  BigramSet pairs_;
};

using VocabPairFilter = std::variant<BytePairFilter, CharPairFilter>;

// Calls `emit(std::string_view) -> Result<void>` for each part of `word` after the cut, in order.
template <class Emit>
[[nodiscard]] Result<void> cut_at_vocab_pairs(std::string_view word, const VocabPairFilter& filter, Emit&& emit) {
  std::size_t part_start = 0;
  if (const auto* bytes = std::get_if<BytePairFilter>(&filter)) {
    if (word.size() < BytePairFilter::kMinCutLength) return emit(word);
    for (std::size_t i = 1; i < word.size(); ++i) {
      const auto current = static_cast<unsigned char>(word[i]);
      if (is_utf8_continuation(current)) continue;
      if (!bytes->contains(static_cast<unsigned char>(word[i - 1]), current)) {
        if (auto status = emit(word.substr(part_start, i - part_start)); !status) return status;
        part_start = i;
      }
    }
    return emit(word.substr(part_start));
  }
  const auto& chars = std::get<CharPairFilter>(filter);
  if (word.empty()) return emit(word);
  std::size_t pos = 0;
  char32_t previous = decode_utf8_at(word, pos);
  while (pos < word.size()) {
    const std::size_t char_start = pos;
    const char32_t current = decode_utf8_at(word, pos);
    if (!chars.contains(previous, current)) {
      if (auto status = emit(word.substr(part_start, char_start - part_start)); !status) return status;
      part_start = char_start;
    }
    previous = current;
  }
  return emit(word.substr(part_start));
}

}  // namespace vellum
