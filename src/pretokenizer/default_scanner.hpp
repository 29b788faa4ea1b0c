// A hand-written matcher for the default word pattern
//   '(?:[sdmt]|ll|ve|re)| ?\p{L}+| ?\p{N}+| ?[^\s\p{L}\p{N}]+|\s+(?!\S)|\s+
// giving exactly the regular-expression engine's matches, several times faster.
//
// Character classes (letter, number, white space) are taken from the engine itself, one block of
// 256 code points at a time on first use, so the scanner agrees with the engine by construction
// and costs no Unicode tables of its own. Blocks are published atomically; any number of threads
// may scan at once.
#pragma once

#include <cstddef>
#include <string_view>

#include "util/error.hpp"
#include "util/regex.hpp"

namespace vellum {

namespace default_scanner_detail {

enum CharClass : unsigned char { kLetter = 1, kNumber = 2, kSpace = 4 };

// The classes of code point `c` (any scalar value).
unsigned char classes_of(char32_t c);

}  // namespace default_scanner_detail

// The end of the match that starts at `start` (`start` < text.size(), a character boundary).
// Every position starts a match: the pattern covers all text.
std::size_t default_pattern_match_end(std::string_view text, std::size_t start);

// Calls `on_match(MatchSpan) -> Result<void>` for each match of the default pattern, left to
// right, as Regex::for_each_match would with the compiled default pattern.
template <class OnMatch>
[[nodiscard]] Result<void> for_each_default_match(std::string_view text, OnMatch&& on_match) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = default_pattern_match_end(text, pos);
    if (auto status = on_match(MatchSpan{pos, end}); !status) return status;
    pos = end;
  }
  return ok();
}

}  // namespace vellum
