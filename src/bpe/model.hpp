// BpeModel: a validated, immutable snapshot of a vocabulary and its merge list.
//
// validate_model checks a vocabulary and merge records rule by rule (distinct tokens, canonical
// Unicode content, every merge target the concatenation of its operands, new at its position,
// operands that are initial tokens or earlier targets, the frequency cutoff) and builds a model
// only when all hold. A model never changes and may be read from any number of threads.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bpe/id_tokens.hpp"
#include "bpe/ids.hpp"
#include "bpe/merge_record.hpp"
#include "bpe/units.hpp"
#include "util/error.hpp"

namespace vellum {

template <class Kind>
class BpeModel {
 public:
  using KindType = Kind;
  using Unit = typename Kind::Unit;

  BpeModel(std::vector<std::string> special_tokens, IdTokens<Unit> vocabulary,
           std::vector<ModelMerge<Kind>> merges)
      : special_tokens_(std::move(special_tokens)),
        vocabulary_(std::move(vocabulary)),
        merges_(std::move(merges)) {}

  static constexpr std::string_view unit_name() { return Kind::kName; }
  const std::vector<std::string>& special_tokens() const { return special_tokens_; }
  // (id, token) in ascending id order.
  const IdTokens<Unit>& vocabulary() const { return vocabulary_; }
  const std::vector<ModelMerge<Kind>>& merges() const { return merges_; }
  std::optional<std::int64_t> last_merge_freq() const {
    return merges_.empty() ? std::nullopt : std::optional(merges_.back().frequency);
  }

 private:
  std::vector<std::string> special_tokens_;
  IdTokens<Unit> vocabulary_;
  std::vector<ModelMerge<Kind>> merges_;
};

// Validates `vocabulary` (ascending ids) and `merges` in order; the first broken rule is an
// InvalidBpeModel error with its message. `cutoff` is the training's bigram cutoff, if any.
template <class Kind>
[[nodiscard]] Result<BpeModel<Kind>> validate_model(std::vector<std::string> special_tokens,
                                                    IdTokens<typename Kind::Unit> vocabulary,
                                                    std::span<const MergeRecord<Kind>> merges,
                                                    std::optional<std::int64_t> cutoff);

// A token as messages show it: byte tokens in printable form, Character tokens as diagnostic text.
std::string describe_token(std::span<const std::uint8_t> token);
std::string describe_token(std::span<const Character> token);

}  // namespace vellum
