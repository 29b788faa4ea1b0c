// Encoding long runs of one repeated character (or short block of characters) without
// materialising their units.
//
// A run of c repeated n times starts as the unit ids of c, n times over. Merging such a sequence
// keeps it of the form head + period^copies + tail, with short head, period and tail: a merge is
// applied to every copy of the period alike, except that the greedy left-to-right pairing carries
// one bit from each copy to the next (whether the copy's first symbol was taken by the pair that
// ended the copy before), so the copies' outputs settle after at most one copy into a cycle of
// one or two. Each step therefore costs the length of head, period and tail, not of the run, and
// gives exactly the sequence that merging the units one by one gives (lowest rank first, all its
// non-overlapping occurrences from the left). Once few copies are left, the sequence is written
// out and merged as usual.
//
// Measured (bench/long_pieces.py, 4,000-token models that merge runs): one piece of 50 MB of a
// repeated space, letter, CJK character or emoji, or of "ab", encodes in 0.17-0.35 s with at most
// 2 bytes of memory per input byte beside the text; the general long-word path took 19 s and
// 2.1 GB for the spaces.
#include <algorithm>
#include <optional>
#include <vector>

#include "bpe/encoder/encoder.hpp"
#include "bpe/unit_kinds.hpp"

namespace vellum {
namespace {

// Runs shorter than this are merged from their units: the periodic form pays off only when the
// units would be many.
constexpr std::size_t kMinRunBytes = 256;
// The longest repeated block looked for: a character, or a few ("ab", "-=", "\r\n", "日本").
constexpr std::size_t kMaxBlockBytes = 16;
// The most that may follow the copies: the rest is merged with them at every step.
constexpr std::size_t kMaxRestBytes = 64;
// Below this many copies the sequence is written out and merged as a plain word.
constexpr std::uint64_t kMinCopies = 4;

struct Periodic {
  TokenIds head;
  TokenIds period;
  std::uint64_t copies = 0;
  TokenIds tail;
};

// The output of merging `pair` greedily over `symbols`, whose first symbol was already taken by
// the previous part when `carry_in`; `next` is the symbol after them. `carry_out` tells whether
// the last symbol paired with `next`.
struct Pass {
  TokenIds out;
  bool carry_out = false;
};

Pass merge_pass(const TokenIds& symbols, const MergeIds& pair, bool carry_in, std::optional<Idx> next) {
  Pass pass;
  pass.out.reserve(symbols.size());
  const std::size_t n = symbols.size();
  for (std::size_t i = carry_in ? 1 : 0; i < n;) {
    if (symbols[i] == pair.left) {
      if (i + 1 < n && symbols[i + 1] == pair.right) {
        pass.out.push_back(pair.target);
        i += 2;
        continue;
      }
      if (i + 1 == n && next == pair.right) {
        pass.out.push_back(pair.target);
        pass.carry_out = true;
        break;
      }
    }
    pass.out.push_back(symbols[i]);
    ++i;
  }
  return pass;
}

void append(TokenIds& into, const TokenIds& from) { into.insert(into.end(), from.begin(), from.end()); }

std::optional<Idx> first_of(const TokenIds& symbols) {
  return symbols.empty() ? std::nullopt : std::optional<Idx>(symbols.front());
}

// Applies `pair` to the whole sequence, which holds at least two copies of its period.
Periodic apply_merge(const Periodic& in, const MergeIds& pair) {
  Periodic result;
  const Idx period_first = in.period.front();
  Pass head = merge_pass(in.head, pair, false, period_first);
  result.head = std::move(head.out);
  // Every copy but the last is followed by another copy; the last one by the tail. The carry
  // into copy k + 1 depends only on the carry into copy k.
  const std::uint64_t middle = in.copies - 1;
  const bool carry_in = head.carry_out;
  Pass first = merge_pass(in.period, pair, carry_in, period_first);
  bool carry_after_middle = carry_in;
  TokenIds leftover;  // the outputs of middle copies after the last whole period
  if (first.carry_out == carry_in) {  // every copy alike
    result.period = std::move(first.out);
    result.copies = middle;
  } else {
    Pass second = merge_pass(in.period, pair, first.carry_out, period_first);
    if (second.carry_out == first.carry_out) {  // alike from the second copy on
      append(result.head, first.out);
      result.period = std::move(second.out);
      result.copies = middle - 1;
      carry_after_middle = first.carry_out;
    } else {  // the copies alternate: a pair of them is the new period
      result.period = first.out;
      append(result.period, second.out);
      result.copies = middle / 2;
      if (middle % 2 == 1) {
        leftover = std::move(first.out);
        carry_after_middle = first.carry_out;
      }
    }
  }
  Pass last = merge_pass(in.period, pair, carry_after_middle, first_of(in.tail));
  Pass tail = merge_pass(in.tail, pair, last.carry_out, std::nullopt);
  result.tail = std::move(leftover);
  append(result.tail, last.out);
  append(result.tail, tail.out);
  return result;
}

// Keeps the form small: the period reduced to its shortest repeating block, and copies of it at
// the end of the head or the start of the tail counted as copies.
void normalize(Periodic& run) {
  if (run.period.empty()) run.copies = 0;
  if (run.copies == 0) return;
  const std::size_t p = run.period.size();
  for (std::size_t block = 1; block < p; ++block) {
    if (p % block != 0) continue;
    if (std::equal(run.period.begin() + static_cast<std::ptrdiff_t>(block), run.period.end(), run.period.begin())) {
      run.copies *= p / block;
      run.period.resize(block);
      break;
    }
  }
  const auto block = static_cast<std::ptrdiff_t>(run.period.size());
  while (run.head.size() >= run.period.size() && std::equal(run.period.begin(), run.period.end(), run.head.end() - block)) {
    run.head.resize(run.head.size() - run.period.size());
    ++run.copies;
  }
  std::size_t taken = 0;
  while (run.tail.size() - taken >= run.period.size() &&
         std::equal(run.period.begin(), run.period.end(), run.tail.begin() + static_cast<std::ptrdiff_t>(taken))) {
    taken += run.period.size();
    ++run.copies;
  }
  run.tail.erase(run.tail.begin(), run.tail.begin() + static_cast<std::ptrdiff_t>(taken));
}

TokenIds written_out(const Periodic& run) {
  TokenIds symbols = run.head;
  symbols.reserve(run.head.size() + run.period.size() * run.copies + run.tail.size());
  for (std::uint64_t copy = 0; copy < run.copies; ++copy) append(symbols, run.period);
  append(symbols, run.tail);
  return symbols;
}

// A word as a short head, copies of a block of whole characters, and a short rest.
struct RepeatedLayout {
  std::size_t head_bytes;
  std::size_t block_bytes;
  std::uint64_t copies;
};

// The layout of `word` that covers most of it with copies of a block (the shortest such block),
// with a head of nothing or the first character (" " before a run of letters); nullopt when no
// layout leaves a rest of at most kMaxRestBytes. A word that repeats nothing fails at the first
// few bytes of every candidate, so the search costs little beside the merging it saves.
std::optional<RepeatedLayout> repeated_layout(std::string_view word) {
  const auto is_continuation = [&](std::size_t i) { return (static_cast<unsigned char>(word[i]) & 0xC0) == 0x80; };
  std::size_t first_character = 1;
  while (first_character < word.size() && is_continuation(first_character)) ++first_character;
  for (const std::size_t head : {std::size_t{0}, first_character}) {
    for (std::size_t block = 1; block <= kMaxBlockBytes && head + block < word.size(); ++block) {
      if (is_continuation(head + block)) continue;
      const auto from = word.begin() + static_cast<std::ptrdiff_t>(head);
      const auto periodic_end = std::mismatch(from + static_cast<std::ptrdiff_t>(block), word.end(), from).first;
      const auto copies = static_cast<std::uint64_t>(periodic_end - from) / block;
      if (word.size() - head - copies * block <= kMaxRestBytes) return RepeatedLayout{head, block, copies};
    }
  }
  return std::nullopt;
}

}  // namespace

template <class Kind>
TokenIds Encoder<Kind>::merge_repeated(TokenIds head, TokenIds block, std::uint64_t copies, TokenIds rest) const {
  Periodic run{std::move(head), std::move(block), copies, std::move(rest)};
  normalize(run);
  while (run.copies >= kMinCopies) {
    // The lowest-ranked pair anywhere in head + period^copies + tail.
    const RankedMerge* best = nullptr;
    auto consider = [&](Idx left, Idx right) {
      const RankedMerge* merge = find_merge(left, right);
      if (merge != nullptr && (best == nullptr || merge->rank < best->rank)) best = merge;
    };
    auto consider_within = [&](const TokenIds& symbols) {
      for (std::size_t i = 0; i + 1 < symbols.size(); ++i) consider(symbols[i], symbols[i + 1]);
    };
    consider_within(run.head);
    if (!run.head.empty()) consider(run.head.back(), run.period.front());
    consider_within(run.period);
    consider(run.period.back(), run.period.front());
    if (!run.tail.empty()) consider(run.period.back(), run.tail.front());
    consider_within(run.tail);
    if (best == nullptr) return written_out(run);
    run = apply_merge(run, merges_[best->rank]);
    normalize(run);
  }
  TokenIds symbols = written_out(run);
  merge_symbols(symbols);
  return symbols;
}

template <class Kind>
Result<TokenIds> Encoder<Kind>::encode_uncached(std::string_view word) const {
  if (word.size() >= kMinRunBytes) {
    if (const std::optional<RepeatedLayout> layout = repeated_layout(word)) {
      const std::size_t rest_start = layout->head_bytes + layout->copies * layout->block_bytes;
      auto head = initial_symbols(word.substr(0, layout->head_bytes));
      auto block = initial_symbols(word.substr(layout->head_bytes, layout->block_bytes));
      auto rest = initial_symbols(word.substr(rest_start));
      for (const auto* part : {&head, &block, &rest}) {
        if (!*part) return std::unexpected(part->error());
      }
      return merge_repeated(*std::move(head), *std::move(block), layout->copies, *std::move(rest));
    }
  }
  auto symbols = initial_symbols(word);
  if (!symbols) return std::unexpected(std::move(symbols.error()));
  merge_symbols(*symbols);
  return symbols;
}

template Result<TokenIds> Encoder<ByteUnit>::encode_uncached(std::string_view) const;
template Result<TokenIds> Encoder<CharUnit>::encode_uncached(std::string_view) const;

}  // namespace vellum
