// UTF-8 helpers over std::string_view.
//
// The decoding functions here require valid UTF-8 (text that came from Python or was decoded
// leniently); they never read past the end of the view.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vellum {

inline bool is_utf8_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length in bytes of the scalar whose lead byte is `lead`.
inline std::size_t utf8_sequence_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

// Decodes the scalar starting at `text[pos]` and advances `pos` past it.
// Requires: `text` is valid UTF-8 and `pos` is a character boundary before its end.
inline char32_t decode_utf8_at(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  const std::size_t length = utf8_sequence_length(lead);
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    c = (c << 6) | (static_cast<unsigned char>(text[pos + i]) & 0x3F);
  }
  pos += length;
  return c;
}

// Appends the UTF-8 encoding of the scalar `c` to `out`.
void append_utf8(std::string& out, char32_t c);

// Number of scalars in valid UTF-8 `text`.
std::size_t count_utf8_chars(std::string_view text);

// Length of the longest prefix of `bytes` that is valid UTF-8.
std::size_t valid_utf8_prefix_length(std::string_view bytes);

// `bytes` as valid UTF-8: every maximal invalid subpart becomes U+FFFD; decoding never fails.
// Valid input is returned unchanged without a copy being made beyond the move.
std::string decode_utf8_lossy(std::string bytes);

// `text` in double quotes, with `"` and `\` escaped by a backslash and control characters
// escaped (\t, \r, \n, \0, otherwise \u{hex}): the form used to show a user's text in messages.
std::string quote_for_message(std::string_view text);

}  // namespace vellum
