// Units and tokens: what a token is made of, and the canonical forms of the Unicode unit.
//
// The byte unit makes a token a byte string; the Unicode unit makes it a sequence of
// Characters, each a Unicode scalar or a raw byte that is no part of a valid character. Tokens
// are immutable and shared by reference: copying a Token copies a pointer, never the units, and
// tokens may be read from any number of threads.
#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vellum {

// One Unicode-unit value. Scalars sort before raw bytes; within a kind by value. Stored as one
// 32-bit code: the scalar itself, or 0x110000 + byte for a raw byte, so that the code's numeric
// order is the unit order.
class Character {
 public:
  constexpr Character() : code_(0) {}
  static constexpr Character scalar(char32_t c) { return Character(static_cast<std::uint32_t>(c)); }
  static constexpr Character raw_byte(std::uint8_t b) { return Character(kRawBase + b); }

  constexpr bool is_raw() const { return code_ >= kRawBase; }
  constexpr char32_t scalar_value() const { return static_cast<char32_t>(code_); }
  constexpr std::uint8_t raw_value() const { return static_cast<std::uint8_t>(code_ - kRawBase); }
  constexpr std::uint32_t code() const { return code_; }

  friend constexpr auto operator<=>(Character, Character) = default;

 private:
  static constexpr std::uint32_t kRawBase = 0x110000;
  constexpr explicit Character(std::uint32_t code) : code_(code) {}
  std::uint32_t code_;
};

template <class Unit>
using Units = std::vector<Unit>;

// An immutable, reference-shared sequence of units.
template <class Unit>
using Token = std::shared_ptr<const Units<Unit>>;

template <class Unit>
Token<Unit> make_token(Units<Unit> units) {
  return std::make_shared<const Units<Unit>>(std::move(units));
}

// The bytes of a token: byte tokens are their own bytes; Characters give the UTF-8 of each
// scalar and the byte itself for each raw byte.
std::string token_bytes(std::span<const std::uint8_t> units);
std::string token_bytes(std::span<const Character> units);

// Canonical decoding: a lead byte gathers every continuation byte that follows it; the group
// becomes one scalar when it is exactly one valid UTF-8 character, else one raw byte per byte.
// Continuation bytes without a lead are raw bytes. The bytes of the result are exactly `bytes`.
Units<Character> decode_canonical(std::string_view bytes);

// One scalar per character of valid UTF-8 `text`.
Units<Character> characters_of(std::string_view text);

// decode(bytes(left) + bytes(right)); plain concatenation for byte tokens.
Units<std::uint8_t> concat_canonical(std::span<const std::uint8_t> left,
                                     std::span<const std::uint8_t> right);
Units<Character> concat_canonical(std::span<const Character> left, std::span<const Character> right);

// All scalars (including empty), or all raw bytes that decode back to themselves.
bool is_canonical_content(std::span<const Character> units);

// Whether `target` is the canonical concatenation of two non-empty operands that are both all
// scalars (target too), or both all raw bytes (target all raw bytes, or exactly one scalar).
bool passes_canonical_merge_check(std::span<const Character> left, std::span<const Character> right,
                                  std::span<const Character> target);

// Scalars as themselves, raw bytes as "\x" and two lowercase hex digits: for messages.
std::string diagnostic_text(std::span<const Character> units);

}  // namespace vellum
