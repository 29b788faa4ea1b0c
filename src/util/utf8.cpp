#include "util/utf8.hpp"

#include <cstdio>

#include <simdjson.h>

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

namespace {

// The accepted range of the second byte after `lead`, and the sequence length; length 0 for a
// byte that cannot start a sequence.
struct LeadInfo {
  std::size_t length;
  unsigned char second_min;
  unsigned char second_max;
};

LeadInfo lead_info(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};
  if (lead == 0xED) return {3, 0x80, 0x9F};
  if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
  if (lead == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The end of the sequence that starts at `i`: past a complete character (`complete` set), or
// past its maximal invalid subpart (at least one byte).
std::size_t sequence_end(std::string_view bytes, std::size_t i, bool& complete) {
  const auto lead = static_cast<unsigned char>(bytes[i]);
  complete = lead < 0x80;
  if (complete) return i + 1;
  const LeadInfo info = lead_info(lead);
  std::size_t end = i + 1;
  if (info.length == 0) return end;
  // Accept continuation bytes while they can still complete the sequence.
  while (end < i + info.length && end < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[end]);
    const bool fits = end == i + 1 ? byte >= info.second_min && byte <= info.second_max
                                   : is_utf8_continuation(byte);
    if (!fits) break;
    ++end;
  }
  complete = end == i + info.length;
  return end;
}

}  // namespace

std::size_t valid_utf8_prefix_length(std::string_view bytes) {
  std::size_t i = 0;
  bool complete = true;
  while (i < bytes.size()) {
    const std::size_t end = sequence_end(bytes, i, complete);
    if (!complete) return i;
    i = end;
  }
  return i;
}

std::string decode_utf8_lossy(std::string bytes) {
  if (simdjson::validate_utf8(bytes.data(), bytes.size())) return bytes;
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  std::size_t i = 0;
  bool complete = true;
  while (i < bytes.size()) {
    const std::size_t end = sequence_end(bytes, i, complete);
    if (complete) {
      out.append(bytes, i, end - i);
    } else {
      out.append(kReplacement);
    }
    i = end;
  }
  return out;
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
