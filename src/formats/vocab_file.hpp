// Vocabulary files: one JSON object from token text to id, members in ascending id order, each on
// its own line indented by two spaces, no trailing newline ("{}" when empty).
//
// Reading accepts any JSON object of integer ids and returns the entries sorted by id; of
// several members with one id the last one wins, and a key given twice keeps its last id.
#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "bpe/id_tokens.hpp"
#include "bpe/ids.hpp"
#include "bpe/token_text.hpp"
#include "bpe/units.hpp"
#include "util/error.hpp"

namespace vellum {

// Creates or truncates `path` (Io error on failure) and writes the entries, given in ascending id
// order; a text met twice keeps its first position and takes the later id.
template <class Unit>
[[nodiscard]] Result<void> write_vocab_file(const std::string& path, FileFormat format,
                                            std::span<const std::pair<Idx, Token<Unit>>> entries);

// Io for the file, Json for the document (an id outside 0..4294967295 included, naming its line
// and column), the token-text errors for a bad key (a bad escape followed by " at line L column
// C" of the key's first occurrence). Nothing partial is returned.
template <class Unit>
[[nodiscard]] Result<IdTokens<Unit>> read_vocab_file(const std::string& path, FileFormat format);

}  // namespace vellum
