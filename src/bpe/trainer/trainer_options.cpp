#include "bpe/trainer/trainer_options.hpp"

#include <cmath>

namespace vellum {

Checked<TrainerOptions> parse_trainer_options(const TrainerArguments& arguments) {
  TrainerOptions options;
  const std::string_view alphabet = arguments.initial_alphabet.value_or("raw");
  if (alphabet == "byte_level") {
    options.initial_alphabet = InitialAlphabet::ByteLevel;
  } else if (alphabet != "raw") {
    return std::unexpected(InvalidArgument{"Unknown initial_alphabet: " + std::string(alphabet)});
  }
  const std::string_view tie_break = arguments.tie_break.value_or("smallest_pair_id");
  if (tie_break == "largest_content") {
    options.tie_break = TieBreak::LargestContent;
  } else if (tie_break != "smallest_pair_id") {
    return std::unexpected(InvalidArgument{"Unknown tie_break: " + std::string(tie_break)});
  }
  if (arguments.hot_pair_window_size == 0u) {
    return std::unexpected(InvalidArgument{"hot_pair_window_size must be positive"});
  }
  if (arguments.bigram_cutoff_freq && *arguments.bigram_cutoff_freq <= 0) {
    return std::unexpected(InvalidArgument{"bigram_cutoff_freq must be positive"});
  }
  options.parallel_merge_min_occurs_in = arguments.parallel_merge_min_occurs_in;
  options.hot_pair_window_size = arguments.hot_pair_window_size;
  options.bigram_cutoff_freq = arguments.bigram_cutoff_freq;
  return options;
}

Checked<double> parse_primary_vocab_ratio(double ratio) {
  if (!std::isfinite(ratio) || ratio < 0.0 || ratio > 1.0) {
    return std::unexpected(InvalidArgument{"primary_vocab_ratio must be finite and between 0 and 1"});
  }
  return ratio;
}

}  // namespace vellum
