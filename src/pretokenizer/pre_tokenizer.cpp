#include "pretokenizer/pre_tokenizer.hpp"

#include <string_view>

#include "util/invariant.hpp"

namespace vellum {
namespace {

constexpr std::string_view kSpecialCharsToEscape = "\\.+*?()|[]{}^$#";

// Compiled once per process; concurrent first uses wait for the one compilation.
const std::shared_ptr<const Regex>& default_pattern() {
  static const std::shared_ptr<const Regex> pattern = [] {
    auto compiled = Regex::compile(kDefaultPattern);
    check_invariant(compiled.has_value(), "the default word pattern does not compile");
    return *std::move(compiled);
  }();
  return pattern;
}

}  // namespace

std::string special_tokens_pattern(const std::vector<std::string>& special_tokens) {
  if (special_tokens.empty()) return std::string(kNoSpecialTokens);
  std::string pattern;
  for (std::size_t i = 0; i < special_tokens.size(); ++i) {
    if (i > 0) pattern += '|';
    for (const char c : special_tokens[i]) {
      if (kSpecialCharsToEscape.find(c) != std::string_view::npos) pattern += '\\';
      pattern += c;
    }
  }
  return pattern;
}

Result<PreTokenizer> PreTokenizer::create(const PreTokenizerOptions& options) {
  std::shared_ptr<const Regex> pattern;
  if (options.pat_str) {
    auto compiled = Regex::compile(*options.pat_str);
    if (!compiled) return std::unexpected(std::move(compiled.error()));
    pattern = *std::move(compiled);
  } else {
    pattern = default_pattern();
  }

  auto special_pattern = Regex::compile(special_tokens_pattern(options.special_tokens));
  if (!special_pattern) {
    // Escaped literals always compile; a failure here means the escaping itself is broken.
    throw InvariantViolation("special-token pattern does not compile: " +
                             special_pattern.error().message());
  }

  std::string eot_token = options.eot_token.value_or(std::string(kDefaultEotToken));

  bool mixed_boundary_split;
  if (options.unicode_bigram_mixed_boundary == "split") {
    mixed_boundary_split = true;
  } else if (options.unicode_bigram_mixed_boundary == "keep") {
    mixed_boundary_split = false;
  } else {
    return std::unexpected(Error::spec_error("Unknown unicode bigram mixed boundary mode: " +
                                       options.unicode_bigram_mixed_boundary));
  }

  std::optional<BigramSet> unicode_bigrams;
  if (options.unicode_bigrams) {
    auto parsed = parse_unicode_bigrams(*options.unicode_bigrams);
    if (!parsed) return std::unexpected(std::move(parsed.error()));
    unicode_bigrams = *std::move(parsed);
  }

  return PreTokenizer(std::move(pattern), *std::move(special_pattern), std::move(eot_token),
                      std::move(unicode_bigrams), mixed_boundary_split);
}

PreTokenizer::PreTokenizer(std::shared_ptr<const Regex> pattern,
                           std::shared_ptr<const Regex> special_pattern, std::string eot_token,
                           std::optional<BigramSet> unicode_bigrams, bool mixed_boundary_split)
    : pattern_(std::move(pattern)),
      special_pattern_(std::move(special_pattern)),
      eot_token_(std::move(eot_token)),
      unicode_bigrams_(std::move(unicode_bigrams)),
      mixed_boundary_split_(mixed_boundary_split),
      has_special_tokens_(special_pattern_->pattern() != kNoSpecialTokens),
      scans_default_pattern_(pattern_->pattern() == kDefaultPattern) {}

Result<std::vector<WordCount>> PreTokenizer::get_words(std::string_view text) const {
  // Counting in a hash map and sorting the distinct words once is several times faster than
  // keeping an ordered map, and gives the same byte order.
  WordViewMap counts;
  auto status = for_each_word(text, [&counts](std::string_view word) { return count_word(counts, word); });
  if (!status) return std::unexpected(std::move(status.error()));
  return sorted_word_counts(counts);
}

}  // namespace vellum
