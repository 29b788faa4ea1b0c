// Trainer construction arguments as a caller gives them, and their parsing into TrainerOptions.
//
// Parsing checks the values in a fixed order (initial_alphabet, tie_break,
// hot_pair_window_size, bigram_cutoff_freq) and returns the first problem; it touches no
// trainer, so a refused option costs nothing. Views in TrainerArguments borrow the caller's text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bpe/trainer/trainer.hpp"
#include "util/invalid_argument.hpp"

namespace vellum {

struct TrainerArguments {
  std::vector<std::string> special_tokens;
  std::optional<std::string_view> initial_alphabet;  // "raw" when absent, or "byte_level"
  std::optional<std::string_view> tie_break;         // "smallest_pair_id" when absent, or "largest_content"
  std::optional<std::uint64_t> parallel_merge_min_occurs_in;
  std::optional<std::uint64_t> hot_pair_window_size;  // positive when given
  std::optional<std::int64_t> bigram_cutoff_freq;     // positive when given
};

// "Unknown initial_alphabet: {}", "Unknown tie_break: {}", "hot_pair_window_size must be
// positive", "bigram_cutoff_freq must be positive".
[[nodiscard]] Checked<TrainerOptions> parse_trainer_options(const TrainerArguments& arguments);

// The share of the growth that train_until_with_bbpe_fallback gives to the first character
// phase: finite and within [0, 1], else "primary_vocab_ratio must be finite and between 0 and 1".
[[nodiscard]] Checked<double> parse_primary_vocab_ratio(double ratio);

}  // namespace vellum
