#include "bpe/printable.hpp"

#include <charconv>
#include <cstdio>
#include <memory>

#include "util/invariant.hpp"
#include "util/regex.hpp"
#include "util/utf8.hpp"

namespace vellum {
namespace {

constexpr char32_t kOpenBox = 0x2423;

void append_escape(std::string& out, char kind, std::uint32_t value, int digits) {
  char escaped[16];
  std::snprintf(escaped, sizeof escaped, "{%c%0*x}", kind, digits, value);
  out += escaped;
}

void append_printable(std::string& out, Character unit, Whitespace whitespace) {
  if (unit.is_raw()) {
    append_escape(out, 'x', unit.raw_value(), 2);
    return;
  }
  const char32_t c = unit.scalar_value();
  if (c == ' ') {
    append_utf8(out, kOpenBox);
  } else if (c < 0x20 || c == 0x7F || c == '{' || c == '}' || c == kOpenBox ||
             (whitespace == Whitespace::Escaped && c > 0x7F && is_unicode_whitespace(c))) {
    append_escape(out, 'u', c, 4);
  } else {
    append_utf8(out, c);
  }
}

// Compiled once per process, on first use.
const Regex& escape_pattern() {
  static const std::shared_ptr<const Regex> pattern = [] {
    auto compiled = Regex::compile(R"(\{([ux][0-9a-fA-F]{2,})\})");
    check_invariant(compiled.has_value(), "the printable escape pattern does not compile");
    return *std::move(compiled);
  }();
  return *pattern;
}

void append_literal(Units<Character>& out, std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char32_t c = decode_utf8_at(text, pos);
    out.push_back(Character::scalar(c == kOpenBox ? U' ' : c));
  }
}

Result<Character> parse_escape(std::string_view body) {
  // The digits' value, saturated just above the 32-bit range.
  std::uint64_t value = 0;
  bool fits = true;
  for (const char digit : body.substr(1)) {
    value = value * 16 + static_cast<std::uint64_t>(digit <= '9' ? digit - '0' : (digit | 0x20) - 'a' + 10);
    if (value > UINT32_MAX) {
      fits = false;
      value = std::uint64_t{UINT32_MAX} + 1;
    }
  }
  if (body[0] == 'x') {
    if (!fits || value > 0xFF) return std::unexpected(Error::invalid_printable_escape(std::string(body)));
    return Character::raw_byte(static_cast<std::uint8_t>(value));
  }
  if (!fits || value > UINT32_MAX) return std::unexpected(Error::invalid_printable_char(U'?'));
  if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return std::unexpected(Error::invalid_printable_escape(std::string(body)));
  }
  return Character::scalar(static_cast<char32_t>(value));
}

}  // namespace

bool is_unicode_whitespace(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

std::string printable(std::span<const Character> units, Whitespace whitespace) {
  std::string out;
  out.reserve(units.size());
  for (const Character unit : units) append_printable(out, unit, whitespace);
  return out;
}

std::string printable(std::span<const std::uint8_t> bytes, Whitespace whitespace) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return printable(decode_canonical(text), whitespace);
}

Result<Units<Character>> parse_printable(std::string_view text) {
  Units<Character> units;
  std::size_t literal_start = 0;
  auto status = escape_pattern().for_each_match(text, [&](MatchSpan match) -> Result<void> {
    append_literal(units, text.substr(literal_start, match.start - literal_start));
    auto unit = parse_escape(text.substr(match.start + 1, match.end - match.start - 2));
    if (!unit) return std::unexpected(std::move(unit.error()));
    units.push_back(*unit);
    literal_start = match.end;
    return ok();
  });
  if (!status) return std::unexpected(std::move(status.error()));
  append_literal(units, text.substr(literal_start));
  return units;
}

}  // namespace vellum
