// Error: the one enumeration of expected failures of the core, and Result<T>.
//
// Every fallible core operation returns Result<T>; the error keeps the offending fragment
// (text, line, id) so that its message names it. Broken internal invariants are not Errors:
// they throw InvariantViolation (see invariant.hpp). Errors are plain values, safe to move
// between threads.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <utility>

namespace vellum {

// The kinds in their fixed order; the numeric values are part of the contract.
enum class ErrorKind : std::uint8_t {
  Io,
  Regex,
  Json,
  MergeTxt,
  Utf8,
  InvalidPrintableChar,
  InvalidPrintableEscape,
  Oov,
  OovIdx,
  OovBytes,
  TrainStep,
  TargetVocabTooSmall,
  SpecError,
  BpeBuilder,
  InvalidBpeModel,
  FrequencyOverflow,
  SourceBatch,
};

class [[nodiscard]] Error {
 public:
  // One factory per kind, named after it; each takes the kind's payload.
  static Error io(std::string text) { return Error(ErrorKind::Io, std::move(text)); }
  static Error regex(std::string text) { return Error(ErrorKind::Regex, std::move(text)); }
  static Error json(std::string text) { return Error(ErrorKind::Json, std::move(text)); }
  static Error merge_txt(std::string text, std::uint64_t line) {
    return Error(ErrorKind::MergeTxt, std::move(text), line);
  }
  static Error utf8(std::string text) { return Error(ErrorKind::Utf8, std::move(text)); }
  static Error invalid_printable_char(char32_t c);
  static Error invalid_printable_escape(std::string text) {
    return Error(ErrorKind::InvalidPrintableEscape, std::move(text));
  }
  static Error oov(std::string text) { return Error(ErrorKind::Oov, std::move(text)); }
  static Error oov_idx(std::uint64_t idx) { return Error(ErrorKind::OovIdx, {}, idx); }
  static Error oov_bytes(std::string text) { return Error(ErrorKind::OovBytes, std::move(text)); }
  static Error train_step() { return Error(ErrorKind::TrainStep, {}); }
  static Error target_vocab_too_small(std::uint64_t requested, std::uint64_t current) {
    return Error(ErrorKind::TargetVocabTooSmall, {}, requested, current);
  }
  static Error spec_error(std::string text) { return Error(ErrorKind::SpecError, std::move(text)); }
  static Error bpe_builder(std::string text) { return Error(ErrorKind::BpeBuilder, std::move(text)); }
  static Error invalid_bpe_model(std::string text) {
    return Error(ErrorKind::InvalidBpeModel, std::move(text));
  }
  static Error frequency_overflow() { return Error(ErrorKind::FrequencyOverflow, {}); }
  static Error source_batch(std::string text) { return Error(ErrorKind::SourceBatch, std::move(text)); }

  ErrorKind kind() const { return kind_; }
  // The text payload (empty for kinds without one); for InvalidPrintableChar the character as UTF-8.
  const std::string& text() const { return text_; }
  // The kind's message template with the payload filled in, e.g. "IO error: {}".
  std::string message() const;

  // This error with " at {position}" after its text, e.g. position "line 3 column 7": the
  // message keeps its template and also names where the offending fragment stands.
  Error located(std::string_view position) const;

  friend bool operator==(const Error&, const Error&) = default;

 private:
  Error(ErrorKind kind, std::string text, std::uint64_t first = 0, std::uint64_t second = 0)
      : kind_(kind), text_(std::move(text)), first_(first), second_(second) {}

  ErrorKind kind_;
  std::string text_;
  std::uint64_t first_;
  std::uint64_t second_;
};

template <class T>
using Result = std::expected<T, Error>;

// "line L column C": the 1-based line and byte column of byte `offset` of `text` (offsets past
// the end count as the end), for messages that name a position in a file.
std::string line_and_column(std::string_view text, std::size_t offset);

// The success value of Result<void>.
inline Result<void> ok() { return {}; }

}  // namespace vellum
