// PreTokenizer: cuts text into words. Special tokens are removed first, the rest is split by
// the word pattern, and pieces are optionally cut at Unicode bigrams.
//
// Immutable after construction and cheap to copy: the compiled patterns are shared by
// reference (copying never recompiles), the bigram set is copied. Any number of threads may
// call for_each_word on one PreTokenizer at once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "bigram/bigram_split.hpp"
#include "bigram/vocab_pair_split.hpp"
#include "pretokenizer/default_scanner.hpp"
#include "pretokenizer/word_map.hpp"
#include "util/error.hpp"
#include "util/regex.hpp"

namespace vellum {

// The default word pattern.
inline constexpr std::string_view kDefaultPattern =
    R"('(?:[sdmt]|ll|ve|re)| ?\p{L}+| ?\p{N}+| ?[^\s\p{L}\p{N}]+|\s+(?!\S)|\s+)";
inline constexpr std::string_view kDefaultEotToken = "<|endoftext|>";
// The never-matching special pattern of a pre-tokenizer without special tokens.
inline constexpr std::string_view kNoSpecialTokens = "$^";

struct PreTokenizerOptions {
  std::vector<std::string> special_tokens;
  std::optional<std::string> eot_token;
  std::optional<std::string> pat_str;
  std::optional<std::vector<std::string>> unicode_bigrams;
  std::string unicode_bigram_mixed_boundary = "keep";
};

class PreTokenizer {
 public:
  // Builds in order: word pattern (Regex error), special pattern, end-of-text marker,
  // mixed-boundary mode (SpecError), bigram set (SpecError); the first failure is returned.
  [[nodiscard]] static Result<PreTokenizer> create(const PreTokenizerOptions& options);

  // Calls `sink(std::string_view word)` for every word of `text`, in text order. The sink may
  // return void or Result<void>; the traversal stops at the first failure of the sink or of the
  // matcher and returns it. Words are views into `text`.
  // Requires: `text` is valid UTF-8.
  template <class Sink>
  [[nodiscard]] Result<void> for_each_word(std::string_view text, Sink&& sink) const;

  // for_each_word that also reports each special token where it stands: `on_word(word)` for
  // words, `on_special(token)` for special tokens, both in text order.
  template <class WordSink, class SpecialSink>
  [[nodiscard]] Result<void> for_each_piece(std::string_view text, WordSink&& on_word, SpecialSink&& on_special) const;

  // Calls `on_segment(segment)` for every non-empty stretch of `text` between special-token
  // matches and `on_special(token)` for every match, in text order (the whole text is one
  // segment when there are no special tokens). Both may return void or Result<void>; the
  // traversal stops at the first failure and returns it.
  template <class SegmentSink, class SpecialSink>
  Result<void> for_each_segment(std::string_view text, SegmentSink&& on_segment, SpecialSink&& on_special) const;

  // The words of `text` with their counts, in ascending order of their UTF-8 bytes.
  // The views point into `text` and stay valid as long as it does.
  [[nodiscard]] Result<std::vector<WordCount>> get_words(std::string_view text) const;

  const std::string& pattern() const { return pattern_->pattern(); }
  const std::string& special_pattern() const { return special_pattern_->pattern(); }
  const std::string& eot_token() const { return eot_token_; }

  // A copy that also cuts words at unit pairs outside `filter` (shared, not copied).
  PreTokenizer with_vocab_pair_filter(std::shared_ptr<const VocabPairFilter> filter) const {
    PreTokenizer copy = *this;
    copy.vocab_pair_filter_ = std::move(filter);
    return copy;
  }

 private:
  PreTokenizer(std::shared_ptr<const Regex> pattern, std::shared_ptr<const Regex> special_pattern,
               std::string eot_token, std::optional<BigramSet> unicode_bigrams,
               bool mixed_boundary_split);

  template <class Emit>
  [[nodiscard]] Result<void> for_each_word_in_segment(std::string_view segment, Emit& emit) const;

  std::shared_ptr<const Regex> pattern_;
  std::shared_ptr<const Regex> special_pattern_;
  std::string eot_token_;
  std::shared_ptr<const VocabPairFilter> vocab_pair_filter_;
  std::optional<BigramSet> unicode_bigrams_;
  bool mixed_boundary_split_;
  // Derived from the special pattern's text at construction: false for "$^", whose scan is skipped.
  bool has_special_tokens_;
  // Derived from the pattern's text: the default pattern is matched by the hand-written scanner.
  bool scans_default_pattern_;
};

// The special-token pattern: each token with `\ . + * ? ( ) | [ ] { } ^ $ #` escaped by a
// backslash, joined by "|" in the given order (so the first listed token wins at a position);
// "$^" when there are none.
std::string special_tokens_pattern(const std::vector<std::string>& special_tokens);

template <class Emit>
Result<void> PreTokenizer::for_each_word_in_segment(std::string_view segment, Emit& emit) const {
  auto cut_vocab_pairs = [&](std::string_view word) -> Result<void> {
    if (vocab_pair_filter_) return cut_at_vocab_pairs(word, *vocab_pair_filter_, emit);
    return emit(word);
  };
  auto on_match = [&](MatchSpan match) -> Result<void> {
    const std::string_view piece = segment.substr(match.start, match.end - match.start);
    if (unicode_bigrams_) {
      return cut_at_bigrams(piece, *unicode_bigrams_, mixed_boundary_split_, cut_vocab_pairs);
    }
    return cut_vocab_pairs(piece);
  };
  if (scans_default_pattern_) return for_each_default_match(segment, on_match);
  return pattern_->for_each_match(segment, on_match);
}

namespace detail {

// Calls `sink`, which returns void or Result<void>, and gives its outcome as Result<void>.
template <class Sink>
[[nodiscard]] Result<void> call_sink(Sink& sink, std::string_view piece) {
  if constexpr (std::is_void_v<std::invoke_result_t<Sink&, std::string_view>>) {
    sink(piece);
    return ok();
  } else {
    return sink(piece);
  }
}

}  // namespace detail

template <class SegmentSink, class SpecialSink>
Result<void> PreTokenizer::for_each_segment(std::string_view text, SegmentSink&& on_segment,
                                            SpecialSink&& on_special) const {
  if (!has_special_tokens_) return text.empty() ? ok() : detail::call_sink(on_segment, text);

  std::size_t segment_start = 0;
  auto status = special_pattern_->for_each_match(text, [&](MatchSpan match) -> Result<void> {
    if (match.start > segment_start) {
      auto segment = text.substr(segment_start, match.start - segment_start);
      if (auto inner = detail::call_sink(on_segment, segment); !inner) return inner;
    }
    if (auto special = detail::call_sink(on_special, text.substr(match.start, match.end - match.start));
        !special) {
      return special;
    }
    segment_start = match.end;
    return ok();
  });
  if (!status) return status;
  if (segment_start < text.size()) return detail::call_sink(on_segment, text.substr(segment_start));
  return ok();
}

template <class WordSink, class SpecialSink>
Result<void> PreTokenizer::for_each_piece(std::string_view text, WordSink&& on_word,
                                          SpecialSink&& on_special) const {
  auto emit = [&on_word](std::string_view word) { return detail::call_sink(on_word, word); };
  return for_each_segment(
      text, [&](std::string_view segment) { return for_each_word_in_segment(segment, emit); }, on_special);
}

template <class Sink>
Result<void> PreTokenizer::for_each_word(std::string_view text, Sink&& sink) const {
  return for_each_piece(text, sink, [](std::string_view) {});
}

}  // namespace vellum
