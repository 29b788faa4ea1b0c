// The rules a vocabulary and merge list must satisfy to become a model, checked in order; the
// first broken rule is reported with the position and tokens it concerns.
#include <boost/unordered/unordered_flat_map.hpp>
#include <boost/unordered/unordered_flat_set.hpp>

#include "bpe/model.hpp"
#include "bpe/printable.hpp"
#include "bpe/unit_kinds.hpp"
#include "bpe/vocabulary_index.hpp"
#include "util/hash.hpp"

namespace vellum {

std::string describe_token(std::span<const std::uint8_t> token) { return printable(token); }
std::string describe_token(std::span<const Character> token) { return diagnostic_text(token); }

namespace {

template <class Unit>
using TokenSet = boost::unordered_flat_set<Units<Unit>, VectorHash<Unit>>;

Error invalid(std::string message) { return Error::invalid_bpe_model(std::move(message)); }

// The key under which two tokens count as the same: bytes, or the canonical decoding of a
// Character token's bytes (so raw C3 A9 and the scalar U+00E9 collide).
Units<std::uint8_t> identity_key(const Units<std::uint8_t>& token) { return token; }
Units<Character> identity_key(const Units<Character>& token) { return decode_canonical(token_bytes(token)); }

bool is_canonical(const Units<std::uint8_t>&) { return true; }
bool is_canonical(const Units<Character>& token) { return is_canonical_content(token); }

template <class Kind>
class Validation {
 public:
  using Unit = typename Kind::Unit;
  using Symbol = typename Kind::Symbol;
  static constexpr bool kUnicode = std::is_same_v<Unit, Character>;

  explicit Validation(const IdTokens<Unit>& vocabulary)
      : vocabulary_(vocabulary), by_id_(tokens_by_id(vocabulary)) {}

  Result<void> check_tokens() const {
    TokenSet<Unit> seen;
    for (const auto& [id, token] : vocabulary_) {
      if (!seen.insert(identity_key(*token)).second) {
        return std::unexpected(invalid("duplicate vocabulary token " + describe_token(*token)));
      }
    }
    return check_canonical_tokens(vocabulary_);
  }

  // Each merge's operands and target; returns the expected target tokens.
  Result<std::vector<Units<Unit>>> check_merges(std::span<const MergeRecord<Kind>> merges) const {
    std::vector<Units<Unit>> expected_tokens;
    boost::unordered_flat_set<Idx> targets;
    for (std::size_t position = 0; position < merges.size(); ++position) {
      const MergeRecord<Kind>& merge = merges[position];
      const std::string at = "merge " + std::to_string(position);
      if (auto status = check_operand(at, "left", merge.pair.left, *merge.left_token); !status) {
        return std::unexpected(std::move(status.error()));
      }
      if (auto status = check_operand(at, "right", merge.pair.right, *merge.right_token); !status) {
        return std::unexpected(std::move(status.error()));
      }
      if (!merge.target) return std::unexpected(invalid(at + " has no target"));
      if (!targets.insert(*merge.target).second) return std::unexpected(invalid(at + " reuses an earlier target"));
      Units<Unit> expected = concat_canonical(std::span<const Unit>(*merge.left_token),
                                              std::span<const Unit>(*merge.right_token));
      auto target = by_id_.find(*merge.target);
      if (target == by_id_.end()) return std::unexpected(invalid(at + " target is missing from the vocabulary"));
      const Units<Unit>& target_token = *target->second;
      if (target_token != expected) {
        return std::unexpected(invalid(at + " target is " + describe_token(target_token) + ", expected " +
                                       describe_token(expected)));
      }
      if constexpr (kUnicode) {
        if (!is_canonical(target_token)) {
          return std::unexpected(invalid("Unicode " + at + " target " + describe_token(target_token) +
                                         " is not canonical homogeneous content"));
        }
        if (!passes_canonical_merge_check(*merge.left_token, *merge.right_token, target_token)) {
          return std::unexpected(invalid("Unicode " + at + " target " + describe_token(target_token) +
                                         " is not the canonical byte concatenation of " +
                                         describe_token(*merge.left_token) + " and " +
                                         describe_token(*merge.right_token)));
        }
      }
      expected_tokens.push_back(std::move(expected));
    }
    return expected_tokens;
  }

  // Every operand is an initial token (an entry no merge targets) or an earlier merge's result.
  Result<void> check_order(std::span<const MergeRecord<Kind>> merges,
                           const std::vector<Units<Unit>>& expected_tokens) const {
    boost::unordered_flat_set<Idx> targets;
    for (const MergeRecord<Kind>& merge : merges) targets.insert(*merge.target);
    TokenSet<Unit> known;
    for (const auto& [id, token] : vocabulary_) {
      if (!targets.contains(id)) known.insert(*token);
    }
    for (std::size_t position = 0; position < merges.size(); ++position) {
      const std::string at = "merge " + std::to_string(position);
      for (const auto& [side, token] : {std::pair{"left", merges[position].left_token},
                                        std::pair{"right", merges[position].right_token}}) {
        if (!known.contains(*token)) {
          return std::unexpected(invalid(at + " " + side + " operand " + describe_token(*token) +
                                         " is not an initial token or an earlier merge"));
        }
      }
      if (!known.insert(expected_tokens[position]).second) {
        return std::unexpected(invalid(at + " does not introduce a new token " +
                                       describe_token(expected_tokens[position])));
      }
    }
    return ok();
  }

  // The model's merges: operands named by the ids of their tokens.
  std::vector<ModelMerge<Kind>> model_merges(std::span<const MergeRecord<Kind>> merges) const {
    const IdsByContent<Unit> ids = ids_by_content(vocabulary_);
    std::vector<ModelMerge<Kind>> result;
    result.reserve(merges.size());
    for (const MergeRecord<Kind>& merge : merges) {
      result.push_back(ModelMerge<Kind>{{ids.at(*merge.left_token), ids.at(*merge.right_token), *merge.target},
                                        merge.left_token, merge.right_token, merge.frequency});
    }
    return result;
  }

 private:
  // The token an operand symbol names: a Char's character, or the vocabulary entry of an id.
  std::optional<Units<Unit>> resolve(Symbol symbol) const {
    if constexpr (kUnicode) {
      if (symbol.is_char()) return Units<Unit>{Character::scalar(symbol.char_value())};
    }
    auto found = by_id_.find(to_id(symbol));
    if (found == by_id_.end()) return std::nullopt;
    return *found->second;
  }

  Result<void> check_operand(const std::string& at, const char* side, Symbol symbol,
                             const Units<Unit>& recorded) const {
    const std::optional<Units<Unit>> resolved = resolve(symbol);
    if (!resolved) {
      return std::unexpected(invalid(at + " " + side + " operand id is missing from the vocabulary"));
    }
    if (*resolved != recorded) {
      return std::unexpected(invalid(at + " " + side + " operand id resolves to " + describe_token(*resolved) +
                                     ", expected " + describe_token(recorded)));
    }
    if (!is_canonical(recorded)) {
      return std::unexpected(invalid("Unicode " + at + " " + side + " operand " + describe_token(recorded) +
                                     " is not canonical homogeneous content"));
    }
    return ok();
  }

  const IdTokens<Unit>& vocabulary_;
  TokensById<Unit> by_id_;
};

}  // namespace

template <class Kind>
Result<BpeModel<Kind>> validate_model(std::vector<std::string> special_tokens,
                                      IdTokens<typename Kind::Unit> vocabulary,
                                      std::span<const MergeRecord<Kind>> merges,
                                      std::optional<std::int64_t> cutoff) {
  const Validation<Kind> validation(vocabulary);
  if (auto status = validation.check_tokens(); !status) return std::unexpected(std::move(status.error()));
  auto expected_tokens = validation.check_merges(merges);
  if (!expected_tokens) return std::unexpected(std::move(expected_tokens.error()));
  if (auto status = validation.check_order(merges, *expected_tokens); !status) {
    return std::unexpected(std::move(status.error()));
  }
  std::vector<ModelMerge<Kind>> model_merges = validation.model_merges(merges);
  if (cutoff && !model_merges.empty() && model_merges.back().frequency < *cutoff) {
    return std::unexpected(invalid("final merge frequency " + std::to_string(model_merges.back().frequency) +
                                   " must be at least Unicode bigram cutoff frequency " +
                                   std::to_string(*cutoff)));
  }
  return BpeModel<Kind>(std::move(special_tokens), std::move(vocabulary), std::move(model_merges));
}

template Result<BpeModel<ByteUnit>> validate_model(std::vector<std::string>, IdTokens<std::uint8_t>,
                                                   std::span<const MergeRecord<ByteUnit>>,
                                                   std::optional<std::int64_t>);
template Result<BpeModel<CharUnit>> validate_model(std::vector<std::string>, IdTokens<Character>,
                                                   std::span<const MergeRecord<CharUnit>>,
                                                   std::optional<std::int64_t>);

}  // namespace vellum
