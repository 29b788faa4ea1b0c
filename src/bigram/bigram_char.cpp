#include "bigram/bigram_char.hpp"

#include <algorithm>
#include <array>
#include <utility>

namespace vellum {
namespace {

// Inclusive ranges in ascending order.
constexpr std::array<std::pair<char32_t, char32_t>, 21> kBigramRanges{{
    {0x0E00, 0x0EFF},    // Thai, Lao
    {0x1000, 0x109F},    // Myanmar
    {0x1100, 0x11FF},    // Hangul Jamo
    {0x1780, 0x17FF},    // Khmer
    {0x3040, 0x309F},    // Hiragana
    {0x30A0, 0x30FF},    // Katakana
    {0x3130, 0x318F},    // Hangul Compatibility Jamo
    {0x3400, 0x4DBF},    // CJK Unified Ideographs Extension A
    {0x4E00, 0x9FFF},    // CJK Unified Ideographs
    {0xA960, 0xA97F},    // Hangul Jamo Extended-A
    {0xA9E0, 0xA9FF},    // Myanmar Extended-B
    {0xAA60, 0xAA7F},    // Myanmar Extended-A
    {0xAC00, 0xD7AF},    // Hangul Syllables
    {0xD7B0, 0xD7FF},    // Hangul Jamo Extended-B
    {0xF900, 0xFAFF},    // CJK Compatibility Ideographs
    {0x20000, 0x2A6DF},  // CJK Extension B
    {0x2A700, 0x2B73F},  // CJK Extension C
    {0x2B740, 0x2B81F},  // CJK Extension D
    {0x2B820, 0x2CEAF},  // CJK Extension E
    {0x2CEB0, 0x2EBEF},  // CJK Extension F
    {0x30000, 0x3134F},  // CJK Extension G
}};

}  // namespace

bool is_bigram_char(char32_t c) {
  if (c < kBigramRanges.front().first) return false;
  const auto* range = std::upper_bound(
      kBigramRanges.begin(), kBigramRanges.end(), c,
      [](char32_t value, const auto& r) { return value < r.first; });
  return range != kBigramRanges.begin() && c <= std::prev(range)->second;
}

}  // namespace vellum
