// The word-counter file: one compact JSON object from word to signed 64-bit count.
//
// Writing: "{", members "word":count separated by ",", "}", no whitespace, in map order; strings
// escape `"`, `\`, \b \t \n \f \r, other controls as \u00XX, and nothing else. Reading accepts
// any JSON object with integer values (any whitespace, escapes and member order; the last of
// repeated names wins; zero and negative counts are kept).
#pragma once

#include <string>

#include "pretokenizer/word_map.hpp"
#include "util/error.hpp"

namespace vellum {

// Failing to create the file is an Io error; once it is open, failures are Json errors.
[[nodiscard]] Result<void> save_word_counts(const std::string& path, const WordMap& counts);

// Failing to open or read the file is an Io error; malformed content is a Json error naming the
// problem with its line and column.
[[nodiscard]] Result<WordMap> load_word_counts(const std::string& path);

}  // namespace vellum
