#include "bpe/units.hpp"

#include <algorithm>
#include <cstdio>

#include "util/utf8.hpp"

namespace vellum {
namespace {

// Appends a flushed lead-byte group: one scalar if the group is exactly one valid character.
void flush_group(std::string_view group, Units<Character>& out) {
  if (group.empty()) return;
  if (valid_utf8_prefix_length(group) == group.size() &&
      utf8_sequence_length(static_cast<unsigned char>(group[0])) == group.size()) {
    std::size_t pos = 0;
    out.push_back(Character::scalar(decode_utf8_at(group, pos)));
    return;
  }
  for (const char byte : group) out.push_back(Character::raw_byte(static_cast<std::uint8_t>(byte)));
}

bool all_scalars(std::span<const Character> units) {
  return std::none_of(units.begin(), units.end(), [](Character c) { return c.is_raw(); });
}

bool all_raw(std::span<const Character> units) {
  return std::all_of(units.begin(), units.end(), [](Character c) { return c.is_raw(); });
}

}  // namespace

std::string token_bytes(std::span<const std::uint8_t> units) {
  return std::string(units.begin(), units.end());
}

std::string token_bytes(std::span<const Character> units) {
  std::string bytes;
  bytes.reserve(units.size());
  for (const Character unit : units) {
    if (unit.is_raw()) {
      bytes.push_back(static_cast<char>(unit.raw_value()));
    } else {
      append_utf8(bytes, unit.scalar_value());
    }
  }
  return bytes;
}

Units<Character> decode_canonical(std::string_view bytes) {
  Units<Character> out;
  out.reserve(bytes.size());
  std::size_t group_start = 0;
  std::size_t group_length = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 0x80) {
      flush_group(bytes.substr(group_start, group_length), out);
      group_length = 0;
      out.push_back(Character::scalar(byte));
    } else if (byte >= 0xC0) {
      flush_group(bytes.substr(group_start, group_length), out);
      group_start = i;
      group_length = 1;
    } else if (group_length > 0) {
      ++group_length;
    } else {
      out.push_back(Character::raw_byte(byte));
    }
  }
  flush_group(bytes.substr(group_start, group_length), out);
  return out;
}

Units<Character> characters_of(std::string_view text) {
  Units<Character> out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) out.push_back(Character::scalar(decode_utf8_at(text, pos)));
  return out;
}

Units<std::uint8_t> concat_canonical(std::span<const std::uint8_t> left,
                                     std::span<const std::uint8_t> right) {
  Units<std::uint8_t> out(left.begin(), left.end());
  out.insert(out.end(), right.begin(), right.end());
  return out;
}

Units<Character> concat_canonical(std::span<const Character> left, std::span<const Character> right) {
  return decode_canonical(token_bytes(left) + token_bytes(right));
}

bool is_canonical_content(std::span<const Character> units) {
  if (all_scalars(units)) return true;
  if (!all_raw(units)) return false;
  const Units<Character> decoded = decode_canonical(token_bytes(units));
  return std::equal(decoded.begin(), decoded.end(), units.begin(), units.end());
}

bool passes_canonical_merge_check(std::span<const Character> left, std::span<const Character> right,
                                  std::span<const Character> target) {
  if (left.empty() || right.empty()) return false;
  const Units<Character> joined = concat_canonical(left, right);
  if (!std::equal(joined.begin(), joined.end(), target.begin(), target.end())) return false;
  if (all_scalars(left) && all_scalars(right)) return !target.empty() && all_scalars(target);
  if (all_raw(left) && all_raw(right)) {
    return all_raw(target) || (target.size() == 1 && !target[0].is_raw());
  }
  return false;
}

std::string diagnostic_text(std::span<const Character> units) {
  std::string text;
  for (const Character unit : units) {
    if (unit.is_raw()) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", unit.raw_value());
      text += escaped;
    } else {
      append_utf8(text, unit.scalar_value());
    }
  }
  return text;
}

}  // namespace vellum
