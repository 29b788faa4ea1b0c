#include "util/utf8.hpp"

#include <cstdio>

namespace vellum {

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::size_t count_utf8_chars(std::string_view text) {
  std::size_t count = 0;
  for (const char byte : text) count += !is_utf8_continuation(static_cast<unsigned char>(byte));
  return count;
}

std::string quote_for_message(std::string_view text) {
  std::string out = "\"";
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    const char32_t c = decode_utf8_at(text, pos);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\0': out += "\\0"; break;
      default:
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
          char escaped[16];
          std::snprintf(escaped, sizeof escaped, "\\u{%x}", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out.append(text.substr(start, pos - start));
        }
    }
  }
  out += '"';
  return out;
}

}  // namespace vellum
