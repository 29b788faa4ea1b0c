// Lookups over a vocabulary given as IdTokens, and the Unicode vocabulary rule, shared by model
// validation and encoder construction so that both resolve and reject tokens alike.
//
// The maps copy token pointers, not units, and stay valid after the vocabulary is gone. Pure
// functions; safe from any number of threads.
#pragma once

#include <cstdint>

#include <boost/unordered/unordered_flat_map.hpp>

#include "bpe/id_tokens.hpp"
#include "bpe/ids.hpp"
#include "bpe/units.hpp"
#include "util/error.hpp"
#include "util/hash.hpp"

namespace vellum {

template <class Unit>
using IdsByContent = boost::unordered_flat_map<Units<Unit>, Idx, VectorHash<Unit>>;

template <class Unit>
using TokensById = boost::unordered_flat_map<Idx, Token<Unit>>;

// The id of each token content; of several entries with one content, the last one's.
template <class Unit>
IdsByContent<Unit> ids_by_content(const IdTokens<Unit>& vocabulary) {
  IdsByContent<Unit> ids;
  ids.reserve(vocabulary.size());
  for (const auto& [id, token] : vocabulary) ids.insert_or_assign(*token, id);
  return ids;
}

// The token of each id; of several entries with one id, the last one's.
template <class Unit>
TokensById<Unit> tokens_by_id(const IdTokens<Unit>& vocabulary) {
  TokensById<Unit> tokens;
  tokens.reserve(vocabulary.size());
  for (const auto& [id, token] : vocabulary) tokens.insert_or_assign(id, token);
  return tokens;
}

// Every token of a Unicode vocabulary must be canonical content (is_canonical_content); the
// first that is not is InvalidBpeModel naming it. Byte vocabularies always pass.
[[nodiscard]] Result<void> check_canonical_tokens(const IdTokens<std::uint8_t>& vocabulary);
[[nodiscard]] Result<void> check_canonical_tokens(const IdTokens<Character>& vocabulary);

}  // namespace vellum
