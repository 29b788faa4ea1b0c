// Token ids and the symbols that words are made of.
//
// Idx is a plain unsigned 32-bit id. CharIdx, the symbol of the character trainer, is either an
// id or Char(c): a character that stands for itself because it has no token of its own yet.
// Every Char sorts before every id; within a kind by value. Both are trivially copyable values.
#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace vellum {

using Idx = std::uint32_t;

// The position of a word in a trainer's inventory or in an encoder's list of distinct words.
using WordIndex = std::uint32_t;

class CharIdx {
 public:
  // The largest id a CharIdx can hold; the code above it is the character-addition marker.
  static constexpr Idx kMaxId = 0xFFFFFFFF - 0x110000 - 1;

  static constexpr CharIdx character(char32_t c) { return CharIdx(static_cast<std::uint32_t>(c)); }
  // Requires: value <= kMaxId (or the marker).
  static constexpr CharIdx id(Idx value) { return CharIdx(kIdBase + value); }
  static constexpr CharIdx marker() { return CharIdx(0xFFFFFFFF); }

  constexpr bool is_char() const { return code_ < kIdBase; }
  constexpr char32_t char_value() const { return static_cast<char32_t>(code_); }
  // The id of an id symbol. Requires: !is_char().
  constexpr Idx id_value() const { return code_ - kIdBase; }

  friend constexpr auto operator<=>(CharIdx, CharIdx) = default;

 private:
  // Chars keep their code point; ids are offset past every code point, so the numeric order of
  // the code is the symbol order, in 32 bits (words of the character trainer are lists of these).
  static constexpr std::uint32_t kIdBase = 0x110000;
  constexpr explicit CharIdx(std::uint32_t code) : code_(code) {}
  std::uint32_t code_;
};

// The integer id of a symbol; a Char symbol has none, and asking for one is a broken invariant.
inline Idx to_id(Idx symbol) { return symbol; }
Idx to_id(CharIdx symbol);

// An adjacent pair of symbols.
template <class Symbol>
struct Pair {
  Symbol left;
  Symbol right;

  friend constexpr auto operator<=>(const Pair&, const Pair&) = default;
};

}  // namespace vellum
