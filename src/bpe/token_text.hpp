// Token text of the two file formats: "gpt2" writes each byte of a byte token as one character of
// the GPT-2 byte-to-unicode table; "vellum" writes the printable form, for both units.
//
// For every token of a unit the format serves, parsing the written text gives the token back.
// Thread-safe; the tables are built once.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "bpe/printable.hpp"
#include "bpe/units.hpp"
#include "util/error.hpp"

namespace vellum {

enum class FileFormat { Gpt2, Vellum };

// The format named `format` for the unit named `unit` ("byte" or "unicode"): "vellum" serves both,
// "gpt2" only bytes; anything else is SpecError "format {} is not compatible with unit {}".
[[nodiscard]] Result<FileFormat> format_for_unit(std::string_view format, std::string_view unit);

// The GPT-2 table: bytes 21-7E, A1-AC and AE-FF map to the same code point, the other 68 bytes in
// increasing order to U+0100 upward.
char32_t gpt2_char_of_byte(std::uint8_t byte);

template <class Unit>
std::string token_text(FileFormat format, std::span<const Unit> token,
                       Whitespace whitespace = Whitespace::AsItself);

// A character outside the GPT-2 table is InvalidPrintableChar; printable-form failures as
// parse_printable. (Only the byte unit serves gpt2.)
template <class Unit>
[[nodiscard]] Result<Units<Unit>> parse_token_text(FileFormat format, std::string_view text);

}  // namespace vellum
