#include "bigram/bigram_counts.hpp"

#include <algorithm>

#include "bigram/bigram_char.hpp"
#include "util/counting.hpp"
#include "util/utf8.hpp"

namespace vellum {

std::string bigram_text(BigramKey key) {
  std::string text;
  append_utf8(text, bigram_first(key));
  append_utf8(text, bigram_second(key));
  return text;
}

// ASCII bytes are skipped a byte at a time without decoding: no bigram character lies below
// U+0E00, and an ASCII character ends any run of them.
Result<void> count_bigrams(std::string_view text, BigramMap& counts) {
  bool previous_is_bigram = false;
  char32_t previous = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      ++pos;
      previous_is_bigram = false;
      continue;
    }
    const char32_t current = decode_utf8_at(text, pos);
    const bool current_is_bigram = is_bigram_char(current);
    if (previous_is_bigram && current_is_bigram) {
      if (auto status = add_count(counts[bigram_key(previous, current)], 1); !status) return status;
    }
    previous = current;
    previous_is_bigram = current_is_bigram;
  }
  return ok();
}

Result<void> absorb_bigrams(BigramMap& into, const BigramMap& from) {
  reserve_at_least(into, into.size() + from.size());
  for (const auto& [key, count] : from) {
    if (auto status = add_count(into[key], count); !status) return status;
  }
  return ok();
}

Result<void> combine_bigram_maps(BigramMap& into, BigramMap&& from) {
  if (from.size() > into.size()) std::swap(into, from);
  return absorb_bigrams(into, from);
}

std::vector<std::pair<BigramKey, std::int64_t>> sorted_bigrams(const BigramMap& counts) {
  std::vector<std::pair<BigramKey, std::int64_t>> entries(counts.begin(), counts.end());
  std::sort(entries.begin(), entries.end());
  return entries;
}

BigramSelection select_bigrams(const BigramMap& counts, std::uint64_t top_k, std::int64_t min_freq) {
  BigramSelection selection;
  auto raise_excluded = [&selection](std::int64_t count) {
    if (!selection.max_excluded_freq || count > *selection.max_excluded_freq) selection.max_excluded_freq = count;
  };
  if (top_k == 0) {
    for (const auto& entry : counts) raise_excluded(entry.second);
    return selection;
  }
  std::vector<std::pair<BigramKey, std::int64_t>> candidates;
  std::optional<std::int64_t> largest_below_min;
  for (const auto& [key, count] : counts) {
    if (count < min_freq) {
      if (!largest_below_min || count > *largest_below_min) largest_below_min = count;
    } else {
      candidates.emplace_back(key, count);
    }
  }
  if (candidates.empty()) {
    selection.max_excluded_freq = largest_below_min;
    return selection;
  }
  const auto by_rank = [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  };
  // Only the counts around the cutoff matter: find the cutoff with a partial selection, then
  // take every candidate at or above it.
  const std::size_t last = static_cast<std::size_t>(std::min<std::uint64_t>(top_k, candidates.size())) - 1;
  std::nth_element(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(last), candidates.end(),
                   by_rank);
  const std::int64_t cutoff = candidates[last].second;
  selection.cutoff_freq = cutoff;
  std::optional<std::int64_t> largest_not_selected;
  for (const auto& [key, count] : candidates) {
    if (count >= cutoff) {
      selection.bigrams.push_back(key);
    } else if (!largest_not_selected || count > *largest_not_selected) {
      largest_not_selected = count;
    }
  }
  selection.max_excluded_freq = largest_not_selected ? largest_not_selected : largest_below_min;
  std::sort(selection.bigrams.begin(), selection.bigrams.end());
  return selection;
}

}  // namespace vellum
