#include "bpe/token_text.hpp"

#include <array>

#include "util/invariant.hpp"
#include "util/utf8.hpp"

namespace vellum {
namespace {

struct Gpt2Table {
  std::array<char32_t, 256> char_of_byte{};
  // Code points up to U+0143 are enough to invert the table.
  std::array<std::int16_t, 0x144> byte_of_char{};

  Gpt2Table() {
    byte_of_char.fill(-1);
    char32_t next = 0x100;
    for (int b = 0; b < 256; ++b) {
      const bool itself = (b >= 0x21 && b <= 0x7E) || (b >= 0xA1 && b <= 0xAC) || b >= 0xAE;
      char_of_byte[b] = itself ? static_cast<char32_t>(b) : next++;
      byte_of_char[char_of_byte[b]] = static_cast<std::int16_t>(b);
    }
  }
};

const Gpt2Table& gpt2_table() {
  static const Gpt2Table table;
  return table;
}

}  // namespace

Result<FileFormat> format_for_unit(std::string_view format, std::string_view unit) {
  if (format == "vellum") return FileFormat::Vellum;
  if (format == "gpt2" && unit == "byte") return FileFormat::Gpt2;
  return std::unexpected(Error::spec_error("format " + std::string(format) + " is not compatible with unit " +
                                     std::string(unit)));
}

char32_t gpt2_char_of_byte(std::uint8_t byte) { return gpt2_table().char_of_byte[byte]; }

template <>
std::string token_text(FileFormat format, std::span<const std::uint8_t> token, Whitespace whitespace) {
  if (format == FileFormat::Vellum) return printable(token, whitespace);
  std::string text;
  text.reserve(token.size() * 2);
  for (const std::uint8_t byte : token) append_utf8(text, gpt2_char_of_byte(byte));
  return text;
}

template <>
std::string token_text(FileFormat format, std::span<const Character> token, Whitespace whitespace) {
  check_invariant(format == FileFormat::Vellum, "the gpt2 format serves only the byte unit");
  return printable(token, whitespace);
}

template <>
Result<Units<std::uint8_t>> parse_token_text(FileFormat format, std::string_view text) {
  Units<std::uint8_t> bytes;
  if (format == FileFormat::Vellum) {
    auto units = parse_printable(text);
    if (!units) return std::unexpected(std::move(units.error()));
    const std::string joined = token_bytes(*units);
    return Units<std::uint8_t>(joined.begin(), joined.end());
  }
  const Gpt2Table& table = gpt2_table();
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char32_t c = decode_utf8_at(text, pos);
    if (c >= table.byte_of_char.size() || table.byte_of_char[c] < 0) {
      return std::unexpected(Error::invalid_printable_char(c));
    }
    bytes.push_back(static_cast<std::uint8_t>(table.byte_of_char[c]));
  }
  return bytes;
}

template <>
Result<Units<Character>> parse_token_text(FileFormat format, std::string_view text) {
  check_invariant(format == FileFormat::Vellum, "the gpt2 format serves only the byte unit");
  return parse_printable(text);
}

}  // namespace vellum
