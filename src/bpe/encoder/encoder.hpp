// Encoder: a fixed BPE model that turns text into token ids and ids back into text.
//
// Built once from a vocabulary, a merge list (rank = position, 0 most preferred) and special
// tokens; immutable afterwards except for its word cache, which is safe for concurrent use. Any
// number of threads may encode and decode with one encoder at once. Generic over the unit kind:
// the byte encoder starts words from their bytes, the character encoder from their characters
// (falling back to a character's bytes when it has no token). Ids are plain Idx in both.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include <boost/unordered/unordered_flat_map.hpp>

#include "bpe/encoder/decode_table.hpp"
#include "bpe/encoder/word_cache.hpp"
#include "bpe/id_tokens.hpp"
#include "bpe/ids.hpp"
#include "bpe/merge_record.hpp"
#include "bpe/model.hpp"
#include "bpe/unit_kinds.hpp"
#include "bpe/units.hpp"
#include "pretokenizer/pre_tokenizer.hpp"
#include "util/error.hpp"
#include "util/hash.hpp"

namespace vellum {

struct EncoderOptions {
  std::optional<std::string> pat_str;
  std::optional<std::vector<std::string>> unicode_bigrams;
  std::string unicode_bigram_mixed_boundary = "keep";
  bool split_on_vocab_bigrams = true;
};

template <class Kind>
class Encoder {
 public:
  using Unit = typename Kind::Unit;

  // Resolves merges given as (left token, right token) to ids by content, then builds as below;
  // a token without a vocabulary entry is Oov.
  [[nodiscard]] static Result<std::shared_ptr<const Encoder>> from_tokens(
      IdTokens<Unit> vocabulary, std::span<const std::pair<Token<Unit>, Token<Unit>>> merges,
      std::vector<std::string> special_tokens, const EncoderOptions& options);

  // Resolves the special tokens, validates the merges against the vocabulary, builds the tables,
  // the vocabulary-pair filter and the pre-tokenizer. `vocabulary` is in ascending id order.
  // Merges need ids only: token contents come from the vocabulary.
  [[nodiscard]] static Result<std::shared_ptr<const Encoder>> from_ids(
      IdTokens<Unit> vocabulary, std::vector<MergeIds> merges, std::vector<std::string> special_tokens,
      const EncoderOptions& options);

  // The ids of one already pre-tokenized word, through the word cache.
  [[nodiscard]] Result<SharedIds> encode_word(std::string_view word) const;
  // One id list per word, in order; distinct uncached words are encoded together.
  [[nodiscard]] Result<std::vector<SharedIds>> encode_words(std::span<const std::string_view> words) const;
  // All ids of a text: special tokens as their ids, every other piece merged.
  [[nodiscard]] Result<TokenIds> encode(std::string_view text) const;
  // The ids of a whole file, its segments encoded in parallel and joined in order.
  [[nodiscard]] Result<TokenIds> encode_file(const std::string& path, std::uint64_t num_chunks) const;
  // The text of `ids`; ill-formed UTF-8 is replaced by U+FFFD. An unknown id is OovIdx.
  [[nodiscard]] Result<std::string> decode(std::span<const Idx> ids) const;

  const PreTokenizer& pre_tokenizer() const { return pre_tokenizer_; }
  // Every id below this bound is decoded by indexing (the ids of an ordinary vocabulary).
  std::size_t dense_id_bound() const { return decode_table_->dense_bound(); }

 private:
  struct RankedMerge {
    std::uint32_t rank;
    Idx target;
  };

  Encoder(PreTokenizer pre_tokenizer, std::size_t cache_capacity)
      : pre_tokenizer_(std::move(pre_tokenizer)), cache_(cache_capacity) {}

  static std::uint64_t pair_key(Idx left, Idx right) { return std::uint64_t{left} << 32 | right; }
  const RankedMerge* find_merge(Idx left, Idx right) const {
    auto found = merge_map_.find(pair_key(left, right));
    return found == merge_map_.end() ? nullptr : &found->second;
  }

  // The word's ids before merging; OovBytes for a unit without a token.
  [[nodiscard]] Result<TokenIds> initial_symbols(std::string_view word) const;
  // The ids of a word, merged from its units; a long run of one repeated character (or short
  // block) is merged in its periodic form instead, in memory that does not grow with the run.
  [[nodiscard]] Result<TokenIds> encode_uncached(std::string_view word) const;
  // The ids of the unit ids `head`, `copies` repetitions of `block`, then `rest`, as merging the
  // units one by one gives.
  TokenIds merge_repeated(TokenIds head, TokenIds block, std::uint64_t copies, TokenIds rest) const;
  // Applies merges lowest rank first, each to all its non-overlapping occurrences.
  void merge_symbols(TokenIds& symbols) const;
  void merge_short(TokenIds& symbols) const;
  void merge_long(TokenIds& symbols) const;
  // Encodes words missing from the cache by replaying the merge list over all of them.
  [[nodiscard]] Result<std::vector<TokenIds>> replay_merges(std::span<const std::string_view> words) const;

  PreTokenizer pre_tokenizer_;
  std::optional<DecodeTable> decode_table_;
  std::array<std::int64_t, 128> ascii_ids_{};  // unit table for ASCII units; -1 when absent
  boost::unordered_flat_map<std::uint32_t, Idx> unit_ids_;  // unit code to id, other units
  std::vector<MergeIds> merges_;
  boost::unordered_flat_map<std::uint64_t, RankedMerge> merge_map_;
  bool ordered_merges_ = false;
  boost::unordered_flat_map<std::string, Idx, TextHash, TextEqual> special_ids_;
  // Token text to id, for the tokens that the merges turn their own text into (checked for each
  // token when the encoder is built); a piece found here needs neither cache nor merging.
  boost::unordered_flat_map<std::string, Idx, TextHash, TextEqual> whole_ids_;
  WordCache cache_;
};

using AnyEncoder = std::variant<std::shared_ptr<const Encoder<ByteUnit>>, std::shared_ptr<const Encoder<CharUnit>>>;

// The encoder of a validated model: its vocabulary, its merges in order (rank = position) and its
// special tokens. The model is only read; the encoder shares its tokens.
template <class Kind>
[[nodiscard]] Result<AnyEncoder> build_encoder(const BpeModel<Kind>& model, const EncoderOptions& options);

}  // namespace vellum
