// Initialising training: the inventory is cut into chunks of bounded weight, each chunk is
// counted into symbol and pair statistics, and the statistics are folded into a fresh pair
// store strictly in chunk order, so the result does not depend on the number of threads.
#include <algorithm>
#include <string>

#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include "bpe/trainer/trainer.hpp"
#include "bpe/unit_kinds.hpp"
#include "util/counting.hpp"
#include "util/events.hpp"

namespace vellum {
namespace {

constexpr std::uint64_t kChunkWeight = 0x40000;
constexpr std::size_t kParallelMinWords = 100'000;
constexpr std::size_t kMaxChunksInFlight = 16;

struct Chunk {
  std::size_t begin;
  std::size_t end;
  std::uint64_t weight;
};

// Chunks of consecutive words whose weight (symbols per word, at least 1) stays at most
// kChunkWeight; a chunk always holds at least its first word.
template <class Word>
std::vector<Chunk> chunk_inventory(const std::vector<Word>& words) {
  std::vector<Chunk> chunks;
  std::size_t index = 0;
  while (index < words.size()) {
    Chunk chunk{index, index, 0};
    while (chunk.end < words.size()) {
      const std::uint64_t weight = std::max<std::uint64_t>(words[chunk.end].symbols.size(), 1);
      const std::uint64_t total = chunk.weight > UINT64_MAX - weight ? UINT64_MAX : chunk.weight + weight;
      if (chunk.end > chunk.begin && total > kChunkWeight) break;
      chunk.weight = total;
      ++chunk.end;
    }
    chunks.push_back(chunk);
    index = chunk.end;
  }
  return chunks;
}

// Symbols in `excluded` count neither on their own nor in pairs. In window mode (`with_words`
// false) no word lists are collected: the window finds occurrences by scanning the inventory
// when it needs them.
template <class Kind>
Result<typename PairStore<Kind>::ChunkStats> count_chunk(const std::vector<WordRecord<Kind>>& words, Chunk chunk,
                                                         const typename PairStore<Kind>::SymbolSet& excluded,
                                                         bool with_words) {
  typename PairStore<Kind>::ChunkStats stats;
  const bool excluding = !excluded.empty();
  for (std::size_t index = chunk.begin; index < chunk.end; ++index) {
    const WordRecord<Kind>& word = words[index];
    const auto& symbols = word.symbols;
    for (const auto symbol : symbols) {
      if (Kind::is_id(symbol) || (excluding && excluded.contains(symbol))) continue;
      if (auto status = add_count(stats.symbol_counts[symbol], word.frequency); !status) {
        return std::unexpected(std::move(status.error()));
      }
    }
    for (std::size_t i = 0; i + 1 < symbols.size(); ++i) {
      if (excluding && (excluded.contains(symbols[i]) || excluded.contains(symbols[i + 1]))) continue;
      auto& stat = stats.pairs[{symbols[i], symbols[i + 1]}];
      if (auto status = add_count(stat.count, word.frequency); !status) {
        return std::unexpected(std::move(status.error()));
      }
      const auto word_index = static_cast<WordIndex>(index);
      if (with_words && (stat.words.empty() || stat.words.back() != word_index)) stat.words.push_back(word_index);
    }
  }
  return stats;
}

}  // namespace

template <class Kind>
Result<void> Trainer<Kind>::count_chunks() {
  const std::vector<Chunk> chunks = chunk_inventory(words_);
  const auto threads = static_cast<std::size_t>(tbb::this_task_arena::max_concurrency());
  const bool parallel = words_.size() >= kParallelMinWords && threads > 1;
  const std::size_t batch_size = parallel ? std::min(threads, kMaxChunksInFlight) : 1;

  typename Store::Accumulation accumulation;
  std::size_t next = 0;
  while (next < chunks.size()) {
    // A chunk heavier than the limit (one very long word) forms a batch of its own.
    std::size_t end = next + 1;
    while (end < chunks.size() && end - next < batch_size && chunks[end].weight <= kChunkWeight &&
           chunks[next].weight <= kChunkWeight) {
      ++end;
    }
    std::vector<std::optional<Result<typename Store::ChunkStats>>> batch(end - next);
    tbb::parallel_for(std::size_t{0}, batch.size(),
                      [&](std::size_t k) {
                        batch[k].emplace(count_chunk(words_, chunks[next + k], excluded_, !store_.windowed()));
                      });
    for (auto& stats : batch) {
      if (!*stats) return std::unexpected(std::move(stats->error()));
      if (auto status = store_.accumulate_batch(**std::move(stats), accumulation); !status) {
        return status;
      }
    }
    next = end;
  }
  return ok();
}

template <class Kind>
Result<void> Trainer<Kind>::init_training() {
  if (fallback_ != Fallback::None) return ok();
  if (events::receiver() != nullptr) {
    events::event("vellum::bpe::trainer", events::Level::Debug,
                  "Initializing BPE training with " + std::to_string(words_.size()) + " words", {});
  }
  store_ = Store(options_.tie_break, vocabulary_, options_.hot_pair_window_size, words_);
  store_.exclude(excluded_.empty() ? nullptr : &excluded_);
  if (auto status = count_chunks(); !status) return status;
  store_.rebuild_heap();
  if (store_.windowed()) store_.hydrate_top_k(std::nullopt);
  return ok();
}

template Result<void> Trainer<ByteUnit>::init_training();
template Result<void> Trainer<CharUnit>::init_training();

}  // namespace vellum
