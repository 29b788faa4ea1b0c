// Building an encoder: special tokens, validation, lookup tables, the vocabulary-pair filter and
// the pre-tokenizer, in that order; the first failure ends construction.
#include <boost/unordered/unordered_flat_set.hpp>

#include "bpe/encoder/encoder.hpp"
#include "bpe/model.hpp"
#include "bpe/printable.hpp"
#include "bpe/unit_kinds.hpp"
#include "bpe/vocabulary_index.hpp"

namespace vellum {
namespace {

constexpr std::size_t kCacheEntriesPerId = 500;

template <class Unit>
Result<Idx> id_of(const IdsByContent<Unit>& ids, const Units<Unit>& content) {
  auto found = ids.find(content);
  if (found == ids.end()) return std::unexpected(Error::oov(printable(std::span<const Unit>(content))));
  return found->second;
}

template <class Unit>
Units<Unit> concatenated(const Units<Unit>& left, const Units<Unit>& right) {
  Units<Unit> joined(left);
  joined.insert(joined.end(), right.begin(), right.end());
  return joined;
}

std::uint32_t unit_code(std::uint8_t byte) { return byte; }
std::uint32_t unit_code(Character unit) { return unit.code(); }

Error invalid(std::string message) { return Error::invalid_bpe_model(std::move(message)); }

// The Unicode-only rules on merges: canonical operands and targets (after the merge ids are known
// to be present; canonical tokens are checked first of all).
Result<void> check_canonical_merges(const std::vector<MergeIds>&, const TokensById<std::uint8_t>&) {
  return ok();
}

Result<void> check_canonical_merges(const std::vector<MergeIds>& merges, const TokensById<Character>& by_id) {
  for (std::size_t rank = 0; rank < merges.size(); ++rank) {
    const std::string at = "Unicode merge " + std::to_string(rank);
    const auto& left = *by_id.at(merges[rank].left);
    const auto& right = *by_id.at(merges[rank].right);
    const auto& target = *by_id.at(merges[rank].target);
    for (const auto& [role, token] : {std::pair{"left", &left}, std::pair{"right", &right}}) {
      if (!is_canonical_content(*token)) {
        return std::unexpected(invalid(at + " " + role + " token " + diagnostic_text(*token) +
                                       " is not canonical homogeneous content"));
      }
    }
    if (!passes_canonical_merge_check(left, right, target)) {
      return std::unexpected(invalid(at + " target " + diagnostic_text(target) +
                                     " is not the canonical byte concatenation of " + diagnostic_text(left) +
                                     " and " + diagnostic_text(right)));
    }
  }
  return ok();
}

// The adjacent unit pairs inside vocabulary tokens, as the pre-tokenizer's vocabulary-pair cut
// uses them: bytes for bytes, scalars for Characters (no merge ever joins a scalar and a raw byte).
void add_pairs(BytePairFilter& filter, const Units<std::uint8_t>& token) {
  for (std::size_t i = 0; i + 1 < token.size(); ++i) filter.add(token[i], token[i + 1]);
}

void add_pairs(CharPairFilter& filter, const Units<Character>& token) {
  for (std::size_t i = 0; i + 1 < token.size(); ++i) {
    if (!token[i].is_raw() && !token[i + 1].is_raw()) {
      filter.add(token[i].scalar_value(), token[i + 1].scalar_value());
    }
  }
}

}  // namespace

template <class Kind>
Result<std::shared_ptr<const Encoder<Kind>>> Encoder<Kind>::from_tokens(
    IdTokens<Unit> vocabulary, std::span<const std::pair<Token<Unit>, Token<Unit>>> merges,
    std::vector<std::string> special_tokens, const EncoderOptions& options) {
  const IdsByContent<Unit> ids = ids_by_content(vocabulary);
  std::vector<MergeIds> resolved;
  resolved.reserve(merges.size());
  for (const auto& [left, right] : merges) {
    auto left_id = id_of(ids, *left);
    if (!left_id) return std::unexpected(std::move(left_id.error()));
    auto right_id = id_of(ids, *right);
    if (!right_id) return std::unexpected(std::move(right_id.error()));
    auto target_id = id_of(ids, concat_canonical(*left, *right));
    if (!target_id) return std::unexpected(std::move(target_id.error()));
    resolved.push_back(MergeIds{*left_id, *right_id, *target_id});
  }
  return from_ids(std::move(vocabulary), std::move(resolved), std::move(special_tokens), options);
}

template <class Kind>
Result<std::shared_ptr<const Encoder<Kind>>> Encoder<Kind>::from_ids(IdTokens<Unit> vocabulary,
                                                                     std::vector<MergeIds> merges,
                                                                     std::vector<std::string> special_tokens,
                                                                     const EncoderOptions& options) {
  // Special tokens must be vocabulary tokens.
  const IdsByContent<Unit> ids = ids_by_content(vocabulary);
  boost::unordered_flat_map<std::string, Idx, TextHash, TextEqual> special_ids;
  for (const std::string& token : special_tokens) {
    auto id = id_of(ids, Kind::units_of_text(token));
    if (!id) return std::unexpected(std::move(id.error()));
    special_ids.insert_or_assign(token, *id);
  }

  if (auto status = check_canonical_tokens(vocabulary); !status) return std::unexpected(std::move(status.error()));

  // Merge ids must name vocabulary tokens.
  const TokensById<Unit> by_id = tokens_by_id(vocabulary);
  for (std::size_t rank = 0; rank < merges.size(); ++rank) {
    const MergeIds& merge = merges[rank];
    for (const auto& [role, id] : {std::pair{"left", merge.left}, std::pair{"right", merge.right},
                                   std::pair{"target", merge.target}}) {
      if (!by_id.contains(id)) {
        return std::unexpected(invalid("merge " + std::to_string(rank) + " " + role + " token id " +
                                       std::to_string(id) + " is missing from the vocabulary"));
      }
    }
  }
  if (auto status = check_canonical_merges(merges, by_id); !status) {
    return std::unexpected(std::move(status.error()));
  }

  // The pre-tokenizer: pattern, bigrams, then the mixed-boundary word, in that order.
  const std::string& mode = options.unicode_bigram_mixed_boundary;
  const bool mode_known = mode == "keep" || mode == "split";
  PreTokenizerOptions pre_options{special_tokens,
                                  special_tokens.empty() ? std::nullopt : std::optional(special_tokens.front()),
                                  options.pat_str, options.unicode_bigrams, mode_known ? mode : "keep"};
  auto pre_tokenizer = PreTokenizer::create(pre_options);
  if (!pre_tokenizer) return std::unexpected(std::move(pre_tokenizer.error()));
  if (!mode_known) return std::unexpected(Error::spec_error("Unknown unicode bigram mixed boundary mode: " + mode));

  // The vocabulary-pair filter, when every target is its operands side by side.
  bool concatenating = true;
  boost::unordered_flat_set<Idx> targets;
  for (const MergeIds& merge : merges) {
    targets.insert(merge.target);
    concatenating = concatenating && *by_id.at(merge.target) == concatenated(*by_id.at(merge.left), *by_id.at(merge.right));
  }
  PreTokenizer installed = *std::move(pre_tokenizer);
  if (options.split_on_vocab_bigrams && concatenating) {
    boost::unordered_flat_set<Idx> special_only;
    for (const auto& [text, id] : special_ids) {
      if (!targets.contains(id)) special_only.insert(id);
    }
    using Filter = std::conditional_t<std::is_same_v<Unit, Character>, CharPairFilter, BytePairFilter>;
    Filter filter;
    for (const auto& [id, token] : vocabulary) {
      if (!special_only.contains(id)) add_pairs(filter, *token);
    }
    installed = installed.with_vocab_pair_filter(std::make_shared<const VocabPairFilter>(std::move(filter)));
  }

  std::shared_ptr<Encoder> encoder(new Encoder(std::move(installed), kCacheEntriesPerId * vocabulary.size()));

  // Decoding and unit tables.
  encoder->decode_table_.emplace(vocabulary, [](const Token<Unit>& token) { return token_bytes(*token); });
  encoder->ascii_ids_.fill(-1);
  for (const auto& [id, token] : vocabulary) {
    if (token->size() != 1) continue;
    const std::uint32_t code = unit_code((*token)[0]);
    if (code < encoder->ascii_ids_.size()) {
      encoder->ascii_ids_[code] = id;
    } else {
      encoder->unit_ids_.insert_or_assign(code, id);
    }
  }

  // Merge tables; merges are "ordered" when pairs and targets are unique and every operand that
  // some merge produces is produced by an earlier one.
  bool ordered = true;
  boost::unordered_flat_set<Idx> produced;
  for (std::size_t rank = 0; rank < merges.size(); ++rank) {
    const MergeIds& merge = merges[rank];
    const auto [entry, inserted] = encoder->merge_map_.try_emplace(
        pair_key(merge.left, merge.right), RankedMerge{static_cast<std::uint32_t>(rank), merge.target});
    ordered = ordered && inserted;
    for (const Idx operand : {merge.left, merge.right}) {
      ordered = ordered && (!targets.contains(operand) || produced.contains(operand));
    }
    ordered = ordered && produced.insert(merge.target).second;
  }
  encoder->merges_ = std::move(merges);
  encoder->ordered_merges_ = ordered;
  encoder->special_ids_ = std::move(special_ids);

  // Whole pieces: a token's text maps to its id only when merging that text gives exactly the
  // token, so the shortcut always agrees with merging (a token reached by other pairs than its
  // own text's merges, or the text of a special token, is left to the merges).
  for (const auto& [id, token] : vocabulary) {
    const std::string text = token_bytes(*token);
    auto symbols = encoder->initial_symbols(text);
    if (!symbols) continue;
    encoder->merge_symbols(*symbols);
    if (symbols->size() == 1 && (*symbols)[0] == id) encoder->whole_ids_.try_emplace(text, id);
  }
  return std::shared_ptr<const Encoder>(std::move(encoder));
}

template <class Kind>
Result<AnyEncoder> build_encoder(const BpeModel<Kind>& model, const EncoderOptions& options) {
  std::vector<MergeIds> merges(model.merges().begin(), model.merges().end());
  auto encoder = Encoder<Kind>::from_ids(model.vocabulary(), std::move(merges), model.special_tokens(), options);
  if (!encoder) return std::unexpected(std::move(encoder.error()));
  return AnyEncoder(*std::move(encoder));
}

template class Encoder<ByteUnit>;
template class Encoder<CharUnit>;
template Result<AnyEncoder> build_encoder(const BpeModel<ByteUnit>&, const EncoderOptions&);
template Result<AnyEncoder> build_encoder(const BpeModel<CharUnit>&, const EncoderOptions&);

}  // namespace vellum
