#include "util/error.hpp"

#include <algorithm>

#include "util/utf8.hpp"

namespace vellum {

Error Error::invalid_printable_char(char32_t c) {
  std::string text;
  append_utf8(text, c);
  return Error(ErrorKind::InvalidPrintableChar, std::move(text));
}

Error Error::located(std::string_view position) const {
  Error copy = *this;
  copy.text_ += " at ";
  copy.text_ += position;
  return copy;
}

std::string line_and_column(std::string_view text, std::size_t offset) {
  offset = std::min(offset, text.size());
  std::size_t line = 1;
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++line;
      line_start = i + 1;
    }
  }
  return "line " + std::to_string(line) + " column " + std::to_string(offset - line_start + 1);
}

std::string Error::message() const {
  switch (kind_) {
    case ErrorKind::Io: return "IO error: " + text_;
    case ErrorKind::Regex: return "Regex error: " + text_;
    case ErrorKind::Json: return "Json error: " + text_;
    case ErrorKind::MergeTxt: return "Merge txt error: " + text_ + " at line " + std::to_string(first_);
    case ErrorKind::Utf8: return "UTF-8 error: " + text_;
    case ErrorKind::InvalidPrintableChar:
    case ErrorKind::InvalidPrintableEscape: return "Character not in printable set: " + text_;
    case ErrorKind::Oov: return "Out of vocabulary: " + text_;
    case ErrorKind::OovIdx: return "Out of vocabulary idx: " + std::to_string(first_);
    case ErrorKind::OovBytes: return "Out of vocabulary bytes: " + text_;
    case ErrorKind::TrainStep: return "No more step could be performed";
    case ErrorKind::TargetVocabTooSmall:
      return "Target vocabulary size " + std::to_string(first_) +
             " is smaller than the current vocabulary size " + std::to_string(second_);
    case ErrorKind::SpecError: return "Specification error: " + text_;
    case ErrorKind::BpeBuilder: return "Bpe builder: " + text_;
    case ErrorKind::InvalidBpeModel: return "Invalid BPE model: " + text_;
    case ErrorKind::FrequencyOverflow: return "Frequency overflow";
    case ErrorKind::SourceBatch: return "Source batch error: " + text_;
  }
  return "unknown error";
}

}  // namespace vellum
