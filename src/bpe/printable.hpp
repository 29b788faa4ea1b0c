// The printable form of tokens: every unit as a visible character or a short escape.
//
// Raw bytes are {xhh}; the space is U+2423; controls, DEL, "{", "}" and U+2423 itself are
// {uhhhh}; every other scalar is itself. Parsing accepts {x..} and {u..} escapes (two or more
// hex digits, either case) anywhere and takes all other text literally, U+2423 as a space. For
// any Character sequence, parsing its printable form gives the sequence back. Thread-safe.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "bpe/units.hpp"
#include "util/error.hpp"

namespace vellum {

// Non-ASCII whitespace (U+0085, U+00A0, U+1680, U+2000 to U+200A, U+2028, U+2029, U+202F, U+205F,
// U+3000) is written as itself, or as a {u....} escape with `escape_whitespace`: merge lines are
// split at whitespace, so their tokens must not hold any.
enum class Whitespace { AsItself, Escaped };

std::string printable(std::span<const Character> units, Whitespace whitespace = Whitespace::AsItself);
// A byte token: its canonical decoding, printed.
std::string printable(std::span<const std::uint8_t> bytes, Whitespace whitespace = Whitespace::AsItself);

// The units of printable text. An {x} escape above FF or a {u} escape that is no scalar value is
// InvalidPrintableEscape (naming the escape's body); a {u} escape beyond 32 bits is
// InvalidPrintableChar '?'.
[[nodiscard]] Result<Units<Character>> parse_printable(std::string_view text);

// Unicode White_Space characters, the ones that merge lines are split at.
bool is_unicode_whitespace(char32_t c);

}  // namespace vellum
