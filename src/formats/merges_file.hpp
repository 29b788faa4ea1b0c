// Merges files: one "{left} {right} => {frequency}\n" line per merge, no header.
//
// Reading splits lines at line feeds (a carriage return before one belongs to the ending),
// numbers them from 0, skips blank ones, takes the frequency after the last " => " (0 when it is
// not a signed 64-bit number) and needs exactly two whitespace-separated tokens before it.
// Tokens holding non-ASCII whitespace are written with escapes, so every token reads back.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "bpe/token_text.hpp"
#include "bpe/units.hpp"
#include "util/error.hpp"

namespace vellum {

template <class Unit>
struct MergeLine {
  Token<Unit> left;
  Token<Unit> right;
  std::int64_t frequency;
};

// Creates or truncates `path` (Io error on failure) and writes one line per merge.
template <class Unit>
[[nodiscard]] Result<void> write_merges_file(const std::string& path, FileFormat format,
                                             std::span<const MergeLine<Unit>> merges);

// Io for the file and for text that is not UTF-8; MergeTxt "main parts is not 2" with the
// zero-based line number; token-text errors (a character that is not allowed followed by " at
// line L column C" of its token, both 1-based). Nothing partial is returned.
template <class Unit>
[[nodiscard]] Result<std::vector<MergeLine<Unit>>> read_merges_file(const std::string& path,
                                                                    FileFormat format);

}  // namespace vellum
