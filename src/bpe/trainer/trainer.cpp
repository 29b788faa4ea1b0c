#include "bpe/trainer/trainer.hpp"

#include <algorithm>
#include <limits>
#include <numeric>
#include <unordered_set>

#include "bpe/unit_kinds.hpp"
#include "util/events.hpp"

namespace vellum {
namespace {

// Byte values in the order of the code points that the GPT-2 byte-to-unicode table gives them:
// the bytes that map to themselves first, then the other 68 in increasing order.
std::vector<std::uint8_t> byte_level_order() {
  std::vector<std::uint8_t> order;
  auto maps_to_itself = [](int b) { return (b >= 0x21 && b <= 0x7E) || (b >= 0xA1 && b <= 0xAC) || b >= 0xAE; };
  for (int b = 0; b < 256; ++b) {
    if (maps_to_itself(b)) order.push_back(static_cast<std::uint8_t>(b));
  }
  for (int b = 0; b < 256; ++b) {
    if (!maps_to_itself(b)) order.push_back(static_cast<std::uint8_t>(b));
  }
  return order;
}

}  // namespace

template <class Kind>
Trainer<Kind>::Trainer(std::vector<std::string> special_tokens, TrainerOptions options)
    : special_tokens_(std::move(special_tokens)), options_(options), store_(options.tie_break, vocabulary_, options.hot_pair_window_size, words_) {
  for (const std::string& token : special_tokens_) {
    vocabulary_.add(make_token<Unit>(Kind::units_of_text(token)));
  }
  std::vector<std::uint8_t> order(256);
  if (options_.initial_alphabet == InitialAlphabet::ByteLevel) {
    order = byte_level_order();
  } else {
    std::iota(order.begin(), order.end(), 0);
  }
  for (const std::uint8_t byte : order) {
    byte_ids_[byte] = vocabulary_.add(make_token<Unit>({Kind::unit_of_byte(byte)}));
  }
}

template <class Kind>
typename Trainer<Kind>::Symbol Trainer<Kind>::symbol_of_unit(Unit unit) const {
  if constexpr (std::is_same_v<Unit, Character>) {
    if (unit.is_raw()) return Kind::id_symbol(byte_ids_[unit.raw_value()]);
    if (unit.scalar_value() >= 0x80) return CharIdx::character(unit.scalar_value());
    return Kind::id_symbol(byte_ids_[unit.scalar_value()]);
  } else {
    return byte_ids_[unit];
  }
}

template <class Kind>
Result<void> Trainer<Kind>::replace_inventory(
    std::span<const std::pair<std::string_view, std::int64_t>> words) {
  const std::unordered_set<std::string_view> specials(special_tokens_.begin(), special_tokens_.end());
  std::vector<WordRecord<Kind>> inventory;
  inventory.reserve(words.size());
  for (const auto& [word, frequency] : words) {
    if (specials.contains(word)) continue;
    Units<Unit> units = Kind::units_of_text(word);
    std::vector<Symbol> symbols;
    symbols.reserve(units.size());
    for (const Unit unit : units) symbols.push_back(symbol_of_unit(unit));
    inventory.push_back(WordRecord<Kind>{std::move(symbols), frequency});
  }
  if (inventory.size() > std::numeric_limits<WordIndex>::max()) {
    return std::unexpected(Error::spec_error("the word inventory holds more than 4294967295 words"));
  }
  words_ = std::move(inventory);
  return ok();
}

template <class Kind>
void Trainer<Kind>::emit_size_metrics() const {
  events::set_counter("bpe_trainer.vocab_size", vocabulary_.size());
  events::set_gauge("bpe_trainer.pre_merges_count", static_cast<double>(store_.pair_count()));
  events::set_gauge("bpe_trainer.words_count", static_cast<double>(words_.size()));
}

template <class Kind>
Result<BpeModel<Kind>> Trainer<Kind>::validate_model() const {
  if (fallback_ == Fallback::Failed) {
    return std::unexpected(Error::invalid_bpe_model("trainer state is incomplete after failed BBPE fallback training"));
  }
  IdTokens<Unit> vocabulary;
  vocabulary.reserve(vocabulary_.size());
  for (std::size_t id = 0; id < vocabulary_.size(); ++id) {
    vocabulary.emplace_back(static_cast<Idx>(id), vocabulary_.at(static_cast<Idx>(id)));
  }
  return vellum::validate_model<Kind>(special_tokens_, std::move(vocabulary), merges_,
                                      options_.bigram_cutoff_freq);
}

template class Trainer<ByteUnit>;
template class Trainer<CharUnit>;

}  // namespace vellum
