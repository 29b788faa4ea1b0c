// Merge records: one applied pair merge, as training produces it and validation checks it, and
// the leaner forms that a validated model and an encoder keep.
//
// Plain values; their tokens are shared by reference with the vocabulary they come from, so a
// record may be copied and read from any number of threads.
#pragma once

#include <cstdint>
#include <optional>

#include "bpe/ids.hpp"
#include "bpe/units.hpp"

namespace vellum {

// A merge as a trainer records it (and validate_model reads it): the pair of symbols, the id of
// the new token, both operand tokens and the pair's frequency when it won. The target is always
// present in training output; validation reports a record without one.
template <class Kind>
struct MergeRecord {
  Pair<typename Kind::Symbol> pair;
  std::optional<Idx> target;
  Token<typename Kind::Unit> left_token;
  Token<typename Kind::Unit> right_token;
  std::int64_t frequency;
};

// A merge named by vocabulary ids only: all that encoding needs, since the encoder finds every
// token's content in its own vocabulary tables.
struct MergeIds {
  Idx left;
  Idx right;
  Idx target;
};

// A merge of a validated model: its ids (character operands resolved to the ids of their
// tokens), the operand tokens, for saving, and the frequency.
template <class Kind>
struct ModelMerge : MergeIds {
  Token<typename Kind::Unit> left_token;
  Token<typename Kind::Unit> right_token;
  std::int64_t frequency;
};

}  // namespace vellum
