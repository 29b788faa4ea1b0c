// Bigram counts: how often two characters of no-space scripts stand next to each other, and the
// selection of the most frequent such pairs.
//
// A bigram is packed into one 64-bit key (first character in the high half), so that key order
// is code-point order, which is also the UTF-8 byte order of the two-character strings. Maps are
// not safe for concurrent writes; no output depends on their (seeded) hash order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <boost/unordered/unordered_flat_map.hpp>

#include "util/error.hpp"
#include "util/hash.hpp"

namespace vellum {

using BigramKey = std::uint64_t;
using BigramMap = boost::unordered_flat_map<BigramKey, std::int64_t, ValueHash<BigramKey>>;

constexpr BigramKey bigram_key(char32_t first, char32_t second) {
  return (static_cast<BigramKey>(first) << 32) | second;
}
constexpr char32_t bigram_first(BigramKey key) { return static_cast<char32_t>(key >> 32); }
constexpr char32_t bigram_second(BigramKey key) { return static_cast<char32_t>(key & 0xFFFFFFFFu); }

// The bigram as its two-character UTF-8 string.
std::string bigram_text(BigramKey key);

// Adds 1 for every pair of adjacent bigram characters of `text` (valid UTF-8). An increment of a
// count at the largest value fails with FrequencyOverflow; increments before it stay made.
[[nodiscard]] Result<void> count_bigrams(std::string_view text, BigramMap& counts);

// Adds every entry of `from` into `into`; on overflow it stops with FrequencyOverflow, entries
// before the failing one staying added.
[[nodiscard]] Result<void> absorb_bigrams(BigramMap& into, const BigramMap& from);

// Sums two partial maps by adding the smaller into the larger; the sum ends in `into`.
[[nodiscard]] Result<void> combine_bigram_maps(BigramMap& into, BigramMap&& from);

// The entries in ascending key order.
std::vector<std::pair<BigramKey, std::int64_t>> sorted_bigrams(const BigramMap& counts);

struct BigramSelection {
  std::vector<BigramKey> bigrams;  // ascending code points
  std::optional<std::int64_t> cutoff_freq;
  std::optional<std::int64_t> max_excluded_freq;
};

// Bigrams counted at least `min_freq` times, the `top_k` most frequent and every one tied with
// the last of them; `cutoff_freq` is the count of that last one, `max_excluded_freq` the largest
// count left out (both absent where there is none). Ties in count rank by code points.
BigramSelection select_bigrams(const BigramMap& counts, std::uint64_t top_k, std::int64_t min_freq);

}  // namespace vellum
