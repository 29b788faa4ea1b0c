// Definitions of the merge routines, included by the files that instantiate them.
#pragma once

#include <tbb/blocked_range.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>

#include "bpe/rewrite/merge_words.hpp"
#include "util/invariant.hpp"

namespace vellum {

namespace detail {

template <class Symbol>
void add_delta(std::vector<PairDelta<Symbol>>& deltas, Pair<Symbol> pair, std::int64_t delta,
               std::int32_t occurrences) {
  for (PairDelta<Symbol>& entry : deltas) {
    if (entry.pair == pair) {
      entry.delta += delta;
      entry.occurrences += occurrences;
      return;
    }
  }
  deltas.push_back(PairDelta<Symbol>{pair, delta, occurrences});
}

// A rewritten word waiting to be written back.
template <class Symbol>
struct RewrittenWord {
  WordIndex word;
  WordRewrite<Symbol> rewrite;
};

template <class Symbol>
void add_to_changes(ChangesMap<Symbol>& changes, WordIndex word,
                    const std::vector<PairDelta<Symbol>>& deltas) {
  for (const PairDelta<Symbol>& entry : deltas) {
    PairChange<Symbol>& change = changes[entry.pair];
    change.delta += entry.delta;
    if (entry.occurrences > 0) change.gained_in.push_back(word);
  }
}

}  // namespace detail

template <class Symbol>
std::optional<WordRewrite<Symbol>> merge_word(std::span<const Symbol> symbols, std::int64_t frequency,
                                              Pair<Symbol> pair, Symbol merged) {
  const std::size_t n = symbols.size();
  std::size_t i = 0;
  // Most words do not contain the pair: find the first occurrence before allocating anything.
  while (i + 1 < n && !(symbols[i] == pair.left && symbols[i + 1] == pair.right)) ++i;
  if (i + 1 >= n) return std::nullopt;

  WordRewrite<Symbol> rewrite;
  rewrite.symbols.reserve(n - 1);
  rewrite.deltas.reserve(8);
  rewrite.symbols.assign(symbols.begin(), symbols.begin() + static_cast<std::ptrdiff_t>(i));
  const std::int64_t f = frequency;
  while (i + 1 < n) {
    if (symbols[i] == pair.left && symbols[i + 1] == pair.right) {
      detail::add_delta(rewrite.deltas, pair, -f, -1);
      if (!rewrite.symbols.empty()) {
        const Symbol previous = rewrite.symbols.back();
        detail::add_delta(rewrite.deltas, Pair<Symbol>{previous, pair.left}, -f, -1);
        detail::add_delta(rewrite.deltas, Pair<Symbol>{previous, merged}, f, 1);
      }
      if (i + 2 < n) {
        const Symbol next = symbols[i + 2];
        detail::add_delta(rewrite.deltas, Pair<Symbol>{pair.right, next}, -f, -1);
        detail::add_delta(rewrite.deltas, Pair<Symbol>{merged, next}, f, 1);
      }
      rewrite.symbols.push_back(merged);
      i += 2;
    } else {
      rewrite.symbols.push_back(symbols[i]);
      i += 1;
    }
  }
  if (i < n) rewrite.symbols.push_back(symbols[i]);
  return rewrite;
}

template <class Word, class Symbol>
ChangesMap<Symbol> apply_merge_to_words(std::span<Word> words, std::span<const WordIndex> occurrences,
                                        Pair<Symbol> pair, Symbol merged, std::uint64_t threshold) {
  auto rewrite_one = [&](WordIndex index) {
    check_invariant(index < words.size(), "occurs_in lists a word past the end of the word list");
    const Word& word = words[index];
    return merge_word<Symbol>(word.symbols, word.frequency, pair, merged);
  };

  ChangesMap<Symbol> changes;
  if (occurrences.size() < threshold) {
    for (const WordIndex index : occurrences) {
      if (auto rewrite = rewrite_one(index)) {
        detail::add_to_changes(changes, index, rewrite->deltas);
        words[index].symbols = std::move(rewrite->symbols);
      }
    }
    return changes;
  }

  tbb::enumerable_thread_specific<std::vector<detail::RewrittenWord<Symbol>>> shares;
  tbb::parallel_for(tbb::blocked_range<std::size_t>(0, occurrences.size(), 256),
                    [&](const tbb::blocked_range<std::size_t>& range) {
                      auto& share = shares.local();
                      for (std::size_t k = range.begin(); k != range.end(); ++k) {
                        if (auto rewrite = rewrite_one(occurrences[k])) {
                          share.push_back({occurrences[k], std::move(*rewrite)});
                        }
                      }
                    });
  for (auto& share : shares) {
    for (auto& [index, rewrite] : share) {
      detail::add_to_changes(changes, index, rewrite.deltas);
      words[index].symbols = std::move(rewrite.symbols);
    }
  }
  return changes;
}

}  // namespace vellum
