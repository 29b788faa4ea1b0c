// JSON text shared by the file formats: string escaping for the writers, and a reader for
// documents that are one object whose values are integers.
//
// The key a sink receives is a view into the reader's own buffer: it stays valid only during
// that call, so a sink that keeps a key copies it. Stateless; safe from any number of threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "util/error.hpp"

namespace vellum {

// Appends `text` as a JSON string: quoted; `"` and `\` escaped by a backslash; U+0008, U+0009,
// U+000A, U+000C, U+000D as \b \t \n \f \r; other characters below U+0020 as \u00XX
// (lowercase); everything else, `/`, DEL and non-ASCII included, as its own bytes.
void append_json_string(std::string& out, std::string_view text);

// A Json error naming `message` at the 1-based line and column of byte `offset`.
Error json_error_at(std::string_view message, std::string_view document, std::size_t offset);

// Called for each member in document order with its unescaped key, its value and the byte
// offsets of the key's opening quote and of the value; a failure it returns ends reading.
using IntegerMemberSink = std::function<Result<void>(std::string_view key, std::int64_t value,
                                                     std::size_t key_offset, std::size_t value_offset)>;

// Reads `document` as one JSON object with signed 64-bit integer values; any whitespace, any
// escapes. Malformed JSON, another value type, an integer out of range and anything but
// whitespace after the object are Json errors naming the problem, line and column.
[[nodiscard]] Result<void> read_integer_object(std::string_view document, const IntegerMemberSink& sink);

}  // namespace vellum
