// Encoding words and texts, and decoding ids.
#include <algorithm>
#include <array>
#include <cstring>
#include <queue>

#include "bpe/encoder/encoder.hpp"
#include "bpe/printable.hpp"
#include "bpe/rewrite/merge_words_impl.hpp"
#include "bpe/unit_kinds.hpp"
#include "util/utf8.hpp"

namespace vellum {
namespace {

// Words up to this many symbols are merged over an array of pair ranks, on the stack (quadratic
// in integer comparisons but with two hash look-ups per merge and no allocation); longer ones
// through a rank-ordered queue over a linked list (n log n), so that a megabyte-long word costs
// no more per byte than a short one. 64 against 24 symbols: CJK documents encoded cold (runs of
// one script, 3 bytes a character) 0.75 s against 0.77 s, English unchanged.
constexpr std::size_t kShortWord = 64;

// Words longer than this are not cached: the cache would keep a copy of each, and such words
// rarely come back (a megabyte of one repeated character, a minified file's one long line).
constexpr std::size_t kMaxCachedWordBytes = 4096;

// Hash of a short piece packed into an integer: the process seed mixed in by the 64-bit
// finaliser of SplitMix64, which spreads every input bit over the top bits the flat map places
// by. Against XXH3 of the 8 bytes, 32 MB of English prose encoded warm document by document:
// best of 3 or 5 in 0.340-0.361 s against 0.396-0.408 s over two runs; code and CJK unchanged.
struct PackedPieceHash {
  using is_avalanching = std::true_type;
  std::size_t operator()(std::uint64_t key) const {
    std::uint64_t x = key ^ kProcessHashSeed;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
  }
};

struct ReplayWord {
  std::vector<Idx> symbols;
  std::int64_t frequency;
};

}  // namespace

template <class Kind>
Result<TokenIds> Encoder<Kind>::initial_symbols(std::string_view word) const {
  TokenIds symbols;
  symbols.reserve(word.size());
  auto unit_id = [this](std::uint32_t code) -> std::int64_t {
    if (code < ascii_ids_.size()) return ascii_ids_[code];
    auto found = unit_ids_.find(code);
    return found == unit_ids_.end() ? std::int64_t{-1} : std::int64_t{found->second};
  };
  if constexpr (std::is_same_v<Unit, std::uint8_t>) {
    for (const char c : word) {
      const auto byte = static_cast<std::uint8_t>(c);
      const std::int64_t id = unit_id(byte);
      if (id < 0) return std::unexpected(Error::oov_bytes(printable(std::span<const std::uint8_t>(&byte, 1))));
      symbols.push_back(static_cast<Idx>(id));
    }
  } else {
    std::size_t pos = 0;
    while (pos < word.size()) {
      const std::size_t start = pos;
      const char32_t c = decode_utf8_at(word, pos);
      if (const std::int64_t id = unit_id(Character::scalar(c).code()); id >= 0) {
        symbols.push_back(static_cast<Idx>(id));
        continue;
      }
      // No token for the character: its bytes, as raw-byte units.
      for (std::size_t i = start; i < pos; ++i) {
        const std::int64_t id = unit_id(Character::raw_byte(static_cast<std::uint8_t>(word[i])).code());
        if (id < 0) {
          const Character unit = Character::scalar(c);
          return std::unexpected(Error::oov_bytes(diagnostic_text(std::span<const Character>(&unit, 1))));
        }
        symbols.push_back(static_cast<Idx>(id));
      }
    }
  }
  return symbols;
}

template <class Kind>
void Encoder<Kind>::merge_symbols(TokenIds& symbols) const {
  if (symbols.size() < 2) return;
  if (symbols.size() <= kShortWord) {
    merge_short(symbols);
  } else {
    merge_long(symbols);
  }
}

template <class Kind>
void Encoder<Kind>::merge_short(TokenIds& symbols) const {
  // ranks[i] is the rank of the merge of symbols[i] and symbols[i + 1]. Each step takes the
  // lowest rank by a scan of the integers, rewrites all its non-overlapping occurrences left to
  // right, and looks up again only the pairs beside a rewritten one: two hash look-ups per merge
  // instead of one per pair per merge.
  constexpr std::uint32_t kNoRank = UINT32_MAX;
  constexpr std::uint32_t kStale = UINT32_MAX - 1;
  std::array<std::uint32_t, kShortWord> ranks;
  auto rank_at = [&](std::size_t i) {
    const RankedMerge* merge = find_merge(symbols[i], symbols[i + 1]);
    return merge == nullptr ? kNoRank : merge->rank;
  };
  std::size_t n = symbols.size();
  for (std::size_t i = 0; i + 1 < n; ++i) ranks[i] = rank_at(i);
  ranks[n - 1] = kNoRank;
  while (n >= 2) {
    const std::uint32_t best = *std::min_element(ranks.begin(), ranks.begin() + static_cast<std::ptrdiff_t>(n - 1));
    if (best == kNoRank) break;
    // A rank names one pair, so ranks[i] == best finds exactly the pair's occurrences.
    const Idx target = merges_[best].target;
    std::size_t out = 0;
    for (std::size_t i = 0; i < n;) {
      if (ranks[i] == best) {
        symbols[out] = target;
        ranks[out] = kStale;
        if (out > 0) ranks[out - 1] = kStale;
        ++out;
        i += 2;
      } else {
        symbols[out] = symbols[i];
        ranks[out] = ranks[i];
        ++out;
        ++i;
      }
    }
    n = out;
    for (std::size_t i = 0; i + 1 < n; ++i) {
      if (ranks[i] == kStale) ranks[i] = rank_at(i);
    }
    ranks[n - 1] = kNoRank;
  }
  symbols.resize(n);
}

template <class Kind>
void Encoder<Kind>::merge_long(TokenIds& symbols) const {
  const std::size_t n = symbols.size();
  constexpr std::uint32_t kNone = UINT32_MAX;
  std::vector<std::uint32_t> next(n);
  std::vector<std::uint32_t> previous(n);
  for (std::size_t i = 0; i < n; ++i) {
    next[i] = i + 1 < n ? static_cast<std::uint32_t>(i + 1) : kNone;
    previous[i] = i > 0 ? static_cast<std::uint32_t>(i - 1) : kNone;
  }
  std::vector<bool> dead(n, false);
  using Entry = std::pair<std::uint32_t, std::uint32_t>;  // (rank, position)
  std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
  auto push_pair = [&](std::uint32_t position) {
    if (position == kNone || next[position] == kNone) return;
    if (const RankedMerge* merge = find_merge(symbols[position], symbols[next[position]])) {
      queue.emplace(merge->rank, position);
    }
  };
  for (std::uint32_t i = 0; i + 1 < n; ++i) push_pair(i);

  std::vector<std::uint32_t> merged;
  while (!queue.empty()) {
    // One rank at a time, left to right: all its non-overlapping occurrences, then the pairs
    // they created.
    const std::uint32_t rank = queue.top().first;
    const MergeIds& merge = merges_[rank];
    merged.clear();
    while (!queue.empty() && queue.top().first == rank) {
      const std::uint32_t position = queue.top().second;
      queue.pop();
      if (dead[position] || next[position] == kNone) continue;
      const std::uint32_t partner = next[position];
      if (symbols[position] != merge.left || symbols[partner] != merge.right) continue;
      symbols[position] = merge.target;
      dead[partner] = true;
      next[position] = next[partner];
      if (next[partner] != kNone) previous[next[partner]] = position;
      merged.push_back(position);
    }
    for (const std::uint32_t position : merged) {
      if (dead[position]) continue;
      push_pair(previous[position]);
      push_pair(position);
    }
  }
  std::size_t out = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (!dead[i]) symbols[out++] = symbols[i];
  }
  symbols.resize(out);
}

template <class Kind>
Result<SharedIds> Encoder<Kind>::encode_word(std::string_view word) const {
  const bool cacheable = word.size() <= kMaxCachedWordBytes;
  if (cacheable) {
    if (SharedIds cached = cache_.find(word)) return cached;
  }
  auto symbols = encode_uncached(word);
  if (!symbols) return std::unexpected(std::move(symbols.error()));
  auto ids = std::make_shared<const TokenIds>(*std::move(symbols));
  if (cacheable) cache_.insert(word, ids);
  return ids;
}

template <class Kind>
Result<std::vector<TokenIds>> Encoder<Kind>::replay_merges(std::span<const std::string_view> words) const {
  std::vector<ReplayWord> list;
  list.reserve(words.size());
  for (const std::string_view word : words) {
    auto symbols = initial_symbols(word);
    if (!symbols) return std::unexpected(std::move(symbols.error()));
    list.push_back(ReplayWord{*std::move(symbols), 1});
  }
  // For every merge, the words its pair occurs in; merges are visited once each, in rank order.
  std::vector<std::vector<WordIndex>> waiting(merges_.size());
  for (std::size_t index = 0; index < list.size(); ++index) {
    const auto& symbols = list[index].symbols;
    for (std::size_t i = 0; i + 1 < symbols.size(); ++i) {
      if (const RankedMerge* merge = find_merge(symbols[i], symbols[i + 1])) {
        waiting[merge->rank].push_back(static_cast<WordIndex>(index));
      }
    }
  }
  const std::uint64_t threshold = parallel_merge_threshold(std::nullopt, list.size());
  for (std::uint32_t rank = 0; rank < merges_.size(); ++rank) {
    std::vector<WordIndex> occurrences = std::move(waiting[rank]);
    if (occurrences.empty()) continue;
    std::sort(occurrences.begin(), occurrences.end());
    occurrences.erase(std::unique(occurrences.begin(), occurrences.end()), occurrences.end());
    const MergeIds& merge = merges_[rank];
    ChangesMap<Idx> changes = apply_merge_to_words<ReplayWord, Idx>(
        list, occurrences, Pair<Idx>{merge.left, merge.right}, merge.target, threshold);
    for (auto& [pair, change] : changes) {
      const RankedMerge* later = find_merge(pair.left, pair.right);
      if (later == nullptr || later->rank <= rank) continue;
      auto& target = waiting[later->rank];
      target.insert(target.end(), change.gained_in.begin(), change.gained_in.end());
    }
  }
  std::vector<TokenIds> encoded;
  encoded.reserve(list.size());
  for (ReplayWord& word : list) encoded.push_back(std::move(word.symbols));
  return encoded;
}

template <class Kind>
Result<std::vector<SharedIds>> Encoder<Kind>::encode_words(std::span<const std::string_view> words) const {
  boost::unordered_flat_map<std::string_view, std::uint32_t, TextHash, TextEqual> distinct;
  std::vector<std::string_view> order;
  std::vector<std::uint32_t> slots;
  slots.reserve(words.size());
  for (const std::string_view word : words) {
    const auto [entry, inserted] = distinct.try_emplace(word, static_cast<std::uint32_t>(order.size()));
    if (inserted) order.push_back(word);
    slots.push_back(entry->second);
  }
  std::vector<SharedIds> encodings(order.size());
  std::vector<std::uint32_t> missing;
  for (std::uint32_t i = 0; i < order.size(); ++i) {
    encodings[i] = cache_.find(order[i]);
    if (!encodings[i]) missing.push_back(i);
  }
  // Long words are encoded one by one: replaying the merge list over them would hold all their
  // units at once.
  std::vector<std::uint32_t> long_words;
  std::erase_if(missing, [&](std::uint32_t i) {
    if (order[i].size() <= kMaxCachedWordBytes) return false;
    long_words.push_back(i);
    return true;
  });
  for (const std::uint32_t i : long_words) {
    auto ids = encode_word(order[i]);
    if (!ids) return std::unexpected(std::move(ids.error()));
    encodings[i] = *std::move(ids);
  }
  if (!missing.empty()) {
    if (ordered_merges_) {
      std::vector<std::string_view> missing_words;
      missing_words.reserve(missing.size());
      for (const std::uint32_t i : missing) missing_words.push_back(order[i]);
      auto replayed = replay_merges(missing_words);
      if (!replayed) return std::unexpected(std::move(replayed.error()));
      for (std::size_t k = 0; k < missing.size(); ++k) {
        encodings[missing[k]] = std::make_shared<const TokenIds>(std::move((*replayed)[k]));
        cache_.insert(order[missing[k]], encodings[missing[k]]);
      }
    } else {
      for (const std::uint32_t i : missing) {
        auto ids = encode_word(order[i]);
        if (!ids) return std::unexpected(std::move(ids.error()));
        encodings[i] = *std::move(ids);
      }
    }
  }
  std::vector<SharedIds> result;
  result.reserve(words.size());
  for (const std::uint32_t slot : slots) result.push_back(encodings[slot]);
  return result;
}

template <class Kind>
Result<TokenIds> Encoder<Kind>::encode(std::string_view text) const {
  // Each distinct piece is encoded once per call into one arena of ids, and pieces refer to
  // their (offset, length) there, so that a piece costs no allocation and no reference count.
  // A piece that is a whole token (most are) takes its id from the immutable whole-piece table
  // without locking; the others go through the word cache, copied out under its lock. Against
  // shared lists looked up in the cache for every distinct piece (bench/encode.py, 32 MB of
  // English prose): cold 53.7 -> 61.9 MB/s, warm 64.9 -> 78.8 MB/s; code warm 72.9 -> 89.4.
  // Pieces of up to 7 bytes (most words) are remembered under their bytes packed into an
  // integer with their length, which hashes and compares far faster than text.
  struct Span {
    std::uint32_t offset;
    std::uint32_t length;
  };
  boost::unordered_flat_map<std::string_view, std::uint32_t, TextHash, TextEqual> seen;
  boost::unordered_flat_map<std::uint64_t, std::uint32_t, PackedPieceHash> seen_short;
  seen_short.reserve(std::min<std::size_t>(text.size() / 16, std::size_t{1} << 16));
  std::vector<Idx> arena;
  arena.reserve(std::min<std::size_t>(text.size() / 8, std::size_t{1} << 20));
  std::vector<Span> encodings;
  std::vector<std::uint32_t> pieces;
  pieces.reserve(text.size() / 4);
  auto add_piece = [&](std::string_view piece, bool special) -> Result<void> {
    const auto next = static_cast<std::uint32_t>(encodings.size());
    std::uint32_t* slot;
    bool inserted;
    if (piece.size() <= 7) {
      std::uint64_t key = std::uint64_t{piece.size()} << 56;
      std::memcpy(&key, piece.data(), piece.size());  // little-endian: bytes fill the low end
      const auto [entry, added] = seen_short.try_emplace(key, next);
      slot = &entry->second;
      inserted = added;
    } else {
      const auto [entry, added] = seen.try_emplace(piece, next);
      slot = &entry->second;
      inserted = added;
    }
    if (inserted) {
      const auto offset = static_cast<std::uint32_t>(arena.size());
      if (special) {
        auto id = special_ids_.find(piece);
        if (id == special_ids_.end()) {
          return std::unexpected(Error::oov(printable(Kind::units_of_text(piece))));
        }
        arena.push_back(id->second);
      } else if (auto whole = whole_ids_.find(piece); whole != whole_ids_.end()) {
        arena.push_back(whole->second);
      } else if (piece.size() > kMaxCachedWordBytes || !cache_.find_into(piece, arena)) {
        auto ids = encode_word(piece);
        if (!ids) return std::unexpected(std::move(ids.error()));
        arena.insert(arena.end(), (*ids)->begin(), (*ids)->end());
      }
      encodings.push_back(Span{offset, static_cast<std::uint32_t>(arena.size() - offset)});
    }
    pieces.push_back(*slot);
    return ok();
  };
  auto status = pre_tokenizer_.for_each_piece(
      text, [&](std::string_view word) { return add_piece(word, false); },
      [&](std::string_view special) { return add_piece(special, true); });
  if (!status) return std::unexpected(std::move(status.error()));

  std::size_t total = 0;
  for (const std::uint32_t piece : pieces) total += encodings[piece].length;
  TokenIds ids(total);
  Idx* out = ids.data();
  const Idx* const base = arena.data();
  for (const std::uint32_t piece : pieces) {
    const Span encoding = encodings[piece];
    if (encoding.length == 1) {
      *out++ = base[encoding.offset];  // most pieces are one token: skip the range copy's setup
    } else {
      out = std::copy(base + encoding.offset, base + encoding.offset + encoding.length, out);
    }
  }
  return ids;
}

template <class Kind>
Result<std::string> Encoder<Kind>::decode(std::span<const Idx> ids) const {
  std::string bytes;
  bytes.reserve(ids.size() * 4);
  for (const Idx id : ids) {
    const std::optional<std::string_view> token = decode_table_->find(id);
    if (!token) return std::unexpected(Error::oov_idx(id));
    bytes.append(*token);
  }
  return decode_utf8_lossy(std::move(bytes));
}

template Result<TokenIds> Encoder<ByteUnit>::initial_symbols(std::string_view) const;
template Result<TokenIds> Encoder<CharUnit>::initial_symbols(std::string_view) const;
template void Encoder<ByteUnit>::merge_symbols(TokenIds&) const;
template void Encoder<CharUnit>::merge_symbols(TokenIds&) const;
template Result<SharedIds> Encoder<ByteUnit>::encode_word(std::string_view) const;
template Result<SharedIds> Encoder<CharUnit>::encode_word(std::string_view) const;
template Result<std::vector<SharedIds>> Encoder<ByteUnit>::encode_words(std::span<const std::string_view>) const;
template Result<std::vector<SharedIds>> Encoder<CharUnit>::encode_words(std::span<const std::string_view>) const;
template Result<TokenIds> Encoder<ByteUnit>::encode(std::string_view) const;
template Result<TokenIds> Encoder<CharUnit>::encode(std::string_view) const;
template Result<std::string> Encoder<ByteUnit>::decode(std::span<const Idx>) const;
template Result<std::string> Encoder<CharUnit>::decode(std::span<const Idx>) const;

}  // namespace vellum
