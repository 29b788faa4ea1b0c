// The merge loop: selecting winners and applying them to the words, the vocabulary, the pair
// store and the merge list.
#include <string>

#include "bpe/rewrite/merge_words.hpp"
#include "bpe/rewrite/merge_words_impl.hpp"
#include "bpe/trainer/trainer.hpp"
#include "bpe/unit_kinds.hpp"
#include "util/events.hpp"
#include "util/invariant.hpp"

namespace vellum {

template <class Kind>
Result<void> Trainer<Kind>::apply_winner(typename Store::Taken&& winner) {
  last_winner_freq_ = winner.freq;
  if (winner.target) {
    // A character addition: the character becomes a token; words keep their Char symbols.
    vocabulary_.add(std::move(winner.right_content));
    return ok();
  }

  const auto new_id = static_cast<Idx>(vocabulary_.size());
  const Symbol merged = Kind::id_symbol(new_id);
  const std::uint64_t threshold =
      parallel_merge_threshold(options_.parallel_merge_min_occurs_in, words_.size());
  ChangesMap<Symbol> changes = apply_merge_to_words<WordRecord<Kind>, Symbol>(
      words_, winner.occurs_in, winner.pair, merged, threshold);

  Units<Unit> joined(*winner.left_content);
  joined.insert(joined.end(), winner.right_content->begin(), winner.right_content->end());
  vocabulary_.add(make_token<Unit>(std::move(joined)));

  const auto own = changes.find(winner.pair);
  const std::int64_t own_delta = own == changes.end() ? 0 : own->second.delta;
  if (own_delta != -winner.freq) {
    throw InvariantViolation("merged pair changed by " + std::to_string(own_delta) +
                             " instead of minus its frequency " + std::to_string(winner.freq) +
                             ": its occurrence list missed words");
  }
  events::record_histogram("bpe_trainer.changes", static_cast<double>(changes.size()));
  if (!excluded_.empty()) {
    boost::unordered::erase_if(changes, [this](const auto& item) {
      return excluded_.contains(item.first.left) || excluded_.contains(item.first.right);
    });
  }

  auto touched = store_.apply_deltas(winner.pair, merged, std::move(changes));
  if (!touched) return std::unexpected(std::move(touched.error()));
  for (const auto pair : *touched) store_.push_candidate(pair);
  store_.prune_if_over();

  events::record_histogram("bpe_trainer.occurs_in", static_cast<double>(winner.occurs_in.size()));
  events::record_histogram("bpe_trainer.freq", static_cast<double>(winner.freq));
  merges_.push_back(MergeRecord<Kind>{winner.pair, new_id, std::move(winner.left_content),
                                      std::move(winner.right_content), winner.freq});
  return ok();
}

template <class Kind>
Result<std::size_t> Trainer<Kind>::step() {
  if (auto refused = check_trainable(); !refused) return std::unexpected(std::move(refused.error()));
  auto winner = store_.pop_winner();
  if (!winner) return std::unexpected(Error::train_step());
  if (auto status = apply_winner(*std::move(winner)); !status) return std::unexpected(std::move(status.error()));
  if (vocabulary_.size() % 100 == 0) emit_size_metrics();
  return vocabulary_.size();
}

template <class Kind>
Result<std::size_t> Trainer<Kind>::train_until(std::uint64_t target) {
  if (auto refused = check_trainable(); !refused) return std::unexpected(std::move(refused.error()));
  const std::size_t current = vocabulary_.size();
  if (target < current) return std::unexpected(Error::target_vocab_too_small(target, current));
  if (target == current) return current;
  if (auto status = init_training(); !status) return std::unexpected(std::move(status.error()));
  emit_size_metrics();
  while (vocabulary_.size() < target) {
    auto winner = store_.pop_winner();
    if (!winner) break;
    if (!winner->target && options_.bigram_cutoff_freq && winner->freq < *options_.bigram_cutoff_freq) {
      const auto pair = winner->pair;
      store_.put_back_pair(*std::move(winner));
      store_.push_candidate(pair);
      break;
    }
    if (auto status = apply_winner(*std::move(winner)); !status) return std::unexpected(std::move(status.error()));
    if (vocabulary_.size() % 100 == 0) emit_size_metrics();
  }
  emit_size_metrics();
  return vocabulary_.size();
}

template Result<std::size_t> Trainer<ByteUnit>::step();
template Result<std::size_t> Trainer<CharUnit>::step();
template Result<std::size_t> Trainer<ByteUnit>::train_until(std::uint64_t);
template Result<std::size_t> Trainer<CharUnit>::train_until(std::uint64_t);

}  // namespace vellum
