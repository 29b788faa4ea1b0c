// The two unit kinds that trainers, pair stores and word rewriting are generic over.
//
// ByteUnit: bytes and Idx symbols. CharUnit: Characters and CharIdx symbols, where every
// character from U+0080 up that has no token of its own is the symbol Char(c).
#pragma once

#include <cstdint>
#include <string_view>

#include "bpe/ids.hpp"
#include "bpe/units.hpp"

namespace vellum {

struct ByteUnit {
  using Unit = std::uint8_t;
  using Symbol = Idx;
  static constexpr std::string_view kName = "byte";
  // The left symbol of a character addition; never a real token id.
  static constexpr Symbol kMarker = 0xFFFFFFFF;
  static constexpr Idx kMaxId = 0xFFFFFFFE;

  static Symbol id_symbol(Idx id) { return id; }
  static bool is_id(Symbol) { return true; }
  static Unit unit_of_byte(std::uint8_t byte) { return byte; }
  static Units<Unit> units_of_text(std::string_view text) { return Units<Unit>(text.begin(), text.end()); }
};

struct CharUnit {
  using Unit = Character;
  using Symbol = CharIdx;
  static constexpr std::string_view kName = "unicode";
  static constexpr Symbol kMarker = CharIdx::marker();
  static constexpr Idx kMaxId = CharIdx::kMaxId;

  static Symbol id_symbol(Idx id) { return CharIdx::id(id); }
  static bool is_id(Symbol symbol) { return !symbol.is_char(); }
  // Bytes below 0x80 are their ASCII character; the others are raw bytes.
  static Unit unit_of_byte(std::uint8_t byte) {
    return byte < 0x80 ? Character::scalar(byte) : Character::raw_byte(byte);
  }
  static Units<Unit> units_of_text(std::string_view text) { return characters_of(text); }
};

}  // namespace vellum
