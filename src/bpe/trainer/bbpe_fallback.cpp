// The byte-level fallback phase of the character trainer. Characters too rare to win a token of
// their own during character training are learned as byte merges over their UTF-8 encodings by
// a private byte trainer, and each byte merge is composed back into this vocabulary as a token
// in canonical form (raw bytes, or the character once its bytes are complete). The merge list
// interleaves both kinds of merges by frequency, so a model encodes any text: a character never
// seen in training falls back to byte fragments instead of being unknown.
#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <type_traits>

#include "bpe/trainer/trainer.hpp"
#include "bpe/trainer/trainer_options.hpp"
#include "bpe/unit_kinds.hpp"
#include "util/utf8.hpp"

namespace vellum {
namespace {

// A character addition still in the pair table when the byte phase starts.
struct PendingCharacter {
  CharIdx symbol;
  Token<Character> content;
  std::string bytes;  // its UTF-8
  std::int64_t frequency;
};

// floor(ratio * growth) in floating point, never above `growth`.
std::uint64_t primary_growth(double ratio, std::uint64_t growth) {
  const double scaled = std::floor(ratio * static_cast<double>(growth));
  if (scaled >= static_cast<double>(growth)) return growth;
  return static_cast<std::uint64_t>(scaled);
}

// The byte phase stops at the larger of the last winner's frequency and the cutoff: a byte
// merge rarer than what character training already refused would rank below the cutoff, or
// below the character merges it is interleaved with.
std::optional<std::int64_t> byte_phase_threshold(std::optional<std::int64_t> last_winner,
                                                 std::optional<std::int64_t> cutoff) {
  if (last_winner && cutoff) return std::max(*last_winner, *cutoff);
  return last_winner ? last_winner : cutoff;
}

Error invalid(std::string message) { return Error::invalid_bpe_model(std::move(message)); }

// Canonical token -> id. Ordered so that lookups never depend on hash seeds.
using CanonicalMap = std::map<Units<Character>, Idx>;

Units<Character> canonical_of_bytes(const Units<std::uint8_t>& bytes) {
  return decode_canonical(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// The merges of `first` and `second` by descending frequency, each list in its own order; at
// equal frequency `first` goes first.
template <class Merge>
std::vector<Merge> interleave_by_frequency(std::vector<Merge>&& first, std::vector<Merge>&& second) {
  std::vector<Merge> merged;
  merged.reserve(first.size() + second.size());
  auto a = first.begin();
  auto b = second.begin();
  while (a != first.end() || b != second.end()) {
    const bool take_second = a == first.end() || (b != second.end() && b->frequency > a->frequency);
    merged.push_back(std::move(take_second ? *b++ : *a++));
  }
  return merged;
}

}  // namespace

template <class Kind>
Result<void> Trainer<Kind>::check_trainable() const {
  switch (fallback_) {
    case Fallback::None: return ok();
    case Fallback::Finalized:
      return std::unexpected(Error::spec_error("BBPE fallback training is finalized at vocabulary size " +
                                               std::to_string(finalized_size_) +
                                               "; create a new trainer to continue training"));
    case Fallback::Failed:
      return std::unexpected(Error::spec_error("trainer cannot continue after failed BBPE fallback training"));
  }
  return ok();
}

template <class Kind>
Result<std::size_t> Trainer<Kind>::apply_winners_above(std::size_t max_merges, std::optional<std::int64_t> threshold) {
  std::size_t applied = 0;
  while (applied < max_merges) {
    auto winner = store_.pop_winner();
    if (!winner || (threshold && winner->freq < *threshold)) break;
    if (auto status = apply_winner(*std::move(winner)); !status) return std::unexpected(std::move(status.error()));
    ++applied;
  }
  return applied;
}

// Only the character trainer runs the phase: the byte trainer's train_until_with_bbpe_fallback
// refuses before it would get here.
template <>
Result<void> Trainer<CharUnit>::run_bbpe_phase(std::uint64_t target, double primary_vocab_ratio) {
  const std::uint64_t initial_size = special_tokens_.size() + 256;
  const std::uint64_t growth = target > initial_size ? target - initial_size : 0;
  const std::uint64_t primary = primary_growth(primary_vocab_ratio, growth);
  const std::uint64_t fallback = growth - primary;

  if (auto size = train_until(initial_size + primary); !size) return std::unexpected(std::move(size.error()));
  if (primary == 0) {
    if (auto status = init_training(); !status) return status;
  } else if (vocabulary_.size() < initial_size + primary && !options_.bigram_cutoff_freq) {
    return std::unexpected(Error::train_step());
  }
  const std::optional<std::int64_t> threshold = byte_phase_threshold(last_winner_freq_, options_.bigram_cutoff_freq);

  std::vector<PendingCharacter> pending;
  store_.for_each_addition([&](Symbol symbol, std::int64_t frequency) {
    pending.push_back({symbol, vocabulary_.content_of(symbol), {}, frequency});
  });
  for (PendingCharacter& character : pending) {
    character.bytes = token_bytes(*character.content);
    if (valid_utf8_prefix_length(character.bytes) != character.bytes.size()) {
      return std::unexpected(Error::utf8("BBPE fallback initial unit " + diagnostic_text(*character.content)));
    }
    if (characters_of(character.bytes).size() != 1) {
      return std::unexpected(Error::spec_error("BBPE fallback initial unit must be one Unicode scalar, got " +
                                               diagnostic_text(*character.content)));
    }
  }
  std::ranges::sort(pending, {}, &PendingCharacter::symbol);
  for (const PendingCharacter& character : pending) excluded_.insert(character.symbol);
  store_.exclude(excluded_.empty() ? nullptr : &excluded_);

  // The byte trainer sees only the pending characters, one word each; it has no special
  // tokens, no window and no cutoff (the threshold below takes the cutoff's place).
  Trainer<ByteUnit> bytes({}, TrainerOptions{options_.parallel_merge_min_occurs_in, std::nullopt, std::nullopt,
                                             options_.initial_alphabet, options_.tie_break});
  std::vector<std::pair<std::string_view, std::int64_t>> words;
  words.reserve(pending.size());
  for (const PendingCharacter& character : pending) words.emplace_back(character.bytes, character.frequency);
  if (auto status = bytes.replace_inventory(words); !status) return status;
  if (auto status = bytes.init_training(); !status) return status;
  if (auto applied = bytes.apply_winners_above(fallback, threshold); !applied) {
    return std::unexpected(std::move(applied.error()));
  }

  const std::uint64_t byte_merges = bytes.merges().size();
  const std::uint64_t resumed_target = target > byte_merges ? target - byte_merges : 0;
  if (vocabulary_.size() < resumed_target) {
    // The resumed phase initialises a fresh pair store; the window's counters of the phase so far
    // are added to the new ones, so that they describe the whole training.
    const bool windowed = store_.windowed();
    const WindowCounters before = window_counters();
    if (auto size = train_until(resumed_target); !size) return std::unexpected(std::move(size.error()));
    if (windowed) carry_window_counters(before);
  }
  if (byte_merges == 0) return ok();

  CanonicalMap canonical;
  for (std::size_t id = 0; id < vocabulary_.size(); ++id) {
    const Token<Character>& token = vocabulary_.at(static_cast<Idx>(id));
    if (!canonical.emplace(decode_canonical(token_bytes(*token)), static_cast<Idx>(id)).second) {
      return std::unexpected(
          invalid("duplicate canonical vocabulary token " + diagnostic_text(*token) + " before BBPE composition"));
    }
  }

  // Every operand resolves: a single byte is an initial byte token, a longer one an earlier
  // composed token, since the byte merges are composed in the order they were applied.
  std::vector<MergeRecord<CharUnit>> composed;
  composed.reserve(byte_merges);
  for (const MergeRecord<ByteUnit>& merge : bytes.merges()) {
    const Units<Character> left = canonical_of_bytes(*merge.left_token);
    const Units<Character> right = canonical_of_bytes(*merge.right_token);
    const auto left_id = canonical.find(left);
    if (left_id == canonical.end()) {
      return std::unexpected(
          invalid("BBPE left dependency " + diagnostic_text(left) + " is missing from the Unicode vocabulary"));
    }
    const auto right_id = canonical.find(right);
    if (right_id == canonical.end()) {
      return std::unexpected(
          invalid("BBPE right dependency " + diagnostic_text(right) + " is missing from the Unicode vocabulary"));
    }
    Units<std::uint8_t> joined(*merge.left_token);
    joined.insert(joined.end(), merge.right_token->begin(), merge.right_token->end());
    Units<Character> token = canonical_of_bytes(joined);
    if (canonical.contains(token)) {
      return std::unexpected(invalid("BBPE merge would duplicate vocabulary token " + diagnostic_text(token)));
    }
    const Idx id = vocabulary_.add(make_token<Character>(token));
    canonical.emplace(std::move(token), id);
    composed.push_back(MergeRecord<CharUnit>{{CharUnit::id_symbol(left_id->second), CharUnit::id_symbol(right_id->second)},
                                             id, vocabulary_.at(left_id->second), vocabulary_.at(right_id->second),
                                             merge.frequency});
  }
  merges_ = interleave_by_frequency(std::move(merges_), std::move(composed));
  return ok();
}

template <class Kind>
Result<std::size_t> Trainer<Kind>::train_until_with_bbpe_fallback(std::uint64_t target, double primary_vocab_ratio) {
  if constexpr (!std::is_same_v<Kind, CharUnit>) {
    return std::unexpected(Error::spec_error("bbpe_fallback requires a Unicode trainer"));
  } else {
    if (auto ratio = parse_primary_vocab_ratio(primary_vocab_ratio); !ratio) {
      return std::unexpected(Error::spec_error(ratio.error().message));
    }
    if (auto refused = check_trainable(); !refused) return std::unexpected(std::move(refused.error()));
    const std::size_t initial_size = special_tokens_.size() + 256;
    if (vocabulary_.size() == initial_size && target <= initial_size) return initial_size;
    if (primary_vocab_ratio == 1.0) return train_until(target);
    if (vocabulary_.size() > initial_size) {
      return std::unexpected(Error::spec_error("BBPE fallback training must start before ordinary vocabulary growth"));
    }
    Result<void> phase = ok();
    try {
      phase = run_bbpe_phase(target, primary_vocab_ratio);
    } catch (...) {
      fallback_ = Fallback::Failed;
      throw;
    }
    if (!phase) {
      fallback_ = Fallback::Failed;
      return std::unexpected(std::move(phase.error()));
    }
    fallback_ = Fallback::Finalized;
    finalized_size_ = vocabulary_.size();
    return finalized_size_;
  }
}

template Result<void> Trainer<ByteUnit>::check_trainable() const;
template Result<void> Trainer<CharUnit>::check_trainable() const;
template Result<std::size_t> Trainer<ByteUnit>::apply_winners_above(std::size_t, std::optional<std::int64_t>);
template Result<std::size_t> Trainer<CharUnit>::apply_winners_above(std::size_t, std::optional<std::int64_t>);
template Result<std::size_t> Trainer<ByteUnit>::train_until_with_bbpe_fallback(std::uint64_t, double);
template Result<std::size_t> Trainer<CharUnit>::train_until_with_bbpe_fallback(std::uint64_t, double);

}  // namespace vellum
