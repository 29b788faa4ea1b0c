// Bigram splitting: cuts a word between adjacent no-space-script characters unless the pair
// is one of the selected bigrams.
//
// A BigramSet is immutable once built and may be read by many threads at once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <boost/unordered/unordered_flat_set.hpp>

#include "bigram/bigram_char.hpp"
#include "util/error.hpp"
#include "util/hash.hpp"
#include "util/utf8.hpp"

namespace vellum {

// Ordered character pairs, each packed as (first << 32) | second.
using BigramSet = boost::unordered_flat_set<std::uint64_t, ValueHash<std::uint64_t>>;

inline std::uint64_t pack_bigram(char32_t first, char32_t second) {
  return (static_cast<std::uint64_t>(first) << 32) | second;
}

// Builds the set from texts of exactly two characters each; any other entry is a SpecError
// "Unicode bigram must contain exactly two chars: {}" quoting the entry.
[[nodiscard]] Result<BigramSet> parse_unicode_bigrams(const std::vector<std::string>& entries);

// Cuts `piece` before each character d whose predecessor c forms a pair (c, d) that is not in
// `selected` and where both are bigram characters, or exactly one is and `split_mixed` holds.
// Calls `emit(std::string_view) -> Result<void>` for each part, in order; a piece of at most one
// character is emitted whole. Stops at the first failure of `emit`.
template <class Emit>
[[nodiscard]] Result<void> cut_at_bigrams(std::string_view piece, const BigramSet& selected, bool split_mixed,
                                          Emit&& emit) {
  // Bigram characters all encode with a lead byte of 0xE0 or above: without one, no cut.
  bool has_wide_char = false;
  for (const char byte : piece) has_wide_char |= static_cast<unsigned char>(byte) >= 0xE0;
  if (!has_wide_char) return emit(piece);

  std::size_t pos = 0;
  std::size_t part_start = 0;
  char32_t previous = decode_utf8_at(piece, pos);
  while (pos < piece.size()) {
    const std::size_t char_start = pos;
    const char32_t current = decode_utf8_at(piece, pos);
    const bool previous_is_bigram = is_bigram_char(previous);
    const bool current_is_bigram = is_bigram_char(current);
    const bool cut = (previous_is_bigram && current_is_bigram) ||
                     (split_mixed && previous_is_bigram != current_is_bigram);
    if (cut && !selected.contains(pack_bigram(previous, current))) {
      if (auto status = emit(piece.substr(part_start, char_start - part_start)); !status) {
        return status;
      }
      part_start = char_start;
    }
    previous = current;
  }
  return emit(piece.substr(part_start));
}

}  // namespace vellum
