// Performance note: on English prose the engine's JIT scan of this pattern runs near 65 MB/s per
// core with one engine call per word; this scanner classifies ASCII from a static table and
// everything else from per-block tables, and runs at several hundred MB/s (bench/pretokenize.py).
#include "pretokenizer/default_scanner.hpp"

#include <array>
#include <atomic>
#include <memory>

#include "util/invariant.hpp"
#include "util/utf8.hpp"

namespace vellum {
namespace default_scanner_detail {
namespace {

constexpr char32_t kMaxScalar = 0x10FFFF;
constexpr std::size_t kBlockCount = (kMaxScalar + 1) / 256;

using Block = std::array<unsigned char, 256>;

// The engine's own answer for one class.
std::shared_ptr<const Regex> class_pattern(const char* pattern) {
  auto compiled = Regex::compile(pattern);
  check_invariant(compiled.has_value(), "a character class pattern does not compile");
  return *std::move(compiled);
}

struct ClassPatterns {
  std::shared_ptr<const Regex> letter = class_pattern(R"(\A\p{L}\z)");
  std::shared_ptr<const Regex> number = class_pattern(R"(\A\p{N}\z)");
  std::shared_ptr<const Regex> space = class_pattern(R"(\A\s\z)");
};

const ClassPatterns& class_patterns() {
  static const ClassPatterns patterns;
  return patterns;
}

bool matches(const Regex& regex, std::string_view character) {
  bool found = false;
  auto status = regex.for_each_match(character, [&found](MatchSpan) -> Result<void> {
    found = true;
    return ok();
  });
  check_invariant(status.has_value(), "a character class match failed");
  return found;
}

Block* build_block(std::size_t index) {
  auto block = std::make_unique<Block>();
  const ClassPatterns& patterns = class_patterns();
  std::string character;
  for (std::size_t offset = 0; offset < 256; ++offset) {
    const auto c = static_cast<char32_t>(index * 256 + offset);
    unsigned char classes = 0;
    if (c < 0xD800 || c > 0xDFFF) {
      character.clear();
      append_utf8(character, c);
      classes = static_cast<unsigned char>((matches(*patterns.letter, character) ? kLetter : 0) |
                                           (matches(*patterns.number, character) ? kNumber : 0) |
                                           (matches(*patterns.space, character) ? kSpace : 0));
    }
    (*block)[offset] = classes;
  }
  return block.release();
}

std::array<std::atomic<Block*>, kBlockCount>& blocks() {
  static std::array<std::atomic<Block*>, kBlockCount> table{};
  return table;
}

// ASCII, decided from the same engine when the library loads, so that the scan's hottest
// look-up is a plain array read without a first-use guard.
const Block& kAsciiClasses = *build_block(0);

const Block& ascii_block() { return kAsciiClasses; }

}  // namespace

unsigned char classes_of(char32_t c) {
  if (c < 0x80) return ascii_block()[c];
  std::atomic<Block*>& slot = blocks()[c >> 8];
  Block* block = slot.load(std::memory_order_acquire);
  if (block == nullptr) {
    Block* built = build_block(c >> 8);
    if (slot.compare_exchange_strong(block, built, std::memory_order_acq_rel)) {
      block = built;
    } else {
      delete built;  // another thread published the same block first
    }
  }
  return (*block)[c & 0xFF];
}

}  // namespace default_scanner_detail

namespace {

using namespace default_scanner_detail;

// The classes of the character at `pos`, and the position after it.
struct Scanned {
  unsigned char classes;
  std::size_t next;
};

Scanned scan(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) return {ascii_block()[lead], pos + 1};
  const char32_t c = decode_utf8_at(text, pos);
  return {classes_of(c), pos};
}

// The end of the longest run from `pos` of characters for which `accept(classes)` holds.
template <class Accept>
std::size_t run_end(std::string_view text, std::size_t pos, Accept accept) {
  while (pos < text.size()) {
    const Scanned next = scan(text, pos);
    if (!accept(next.classes)) break;
    pos = next.next;
  }
  return pos;
}

bool is_other(unsigned char classes) { return classes == 0; }

}  // namespace

std::size_t default_pattern_match_end(std::string_view text, std::size_t start) {
  const char first = text[start];
  // '(?:[sdmt]|ll|ve|re)
  if (first == '\'' && start + 1 < text.size()) {
    const char a = text[start + 1];
    if (a == 's' || a == 'd' || a == 'm' || a == 't') return start + 2;
    if (start + 2 < text.size()) {
      const char b = text[start + 2];
      if ((a == 'l' && b == 'l') || (a == 'v' && b == 'e') || (a == 'r' && b == 'e')) return start + 3;
    }
  }
  // An optional space, then a run of letters, of numbers, or of other characters.
  const Scanned head = scan(text, start);
  std::size_t body = start;
  unsigned char body_classes = head.classes;
  if (first == ' ' && head.next < text.size()) {
    const Scanned after = scan(text, head.next);
    if (!(after.classes & kSpace)) {
      body = head.next;
      body_classes = after.classes;
    }
  }
  if (body_classes & kLetter) return run_end(text, body, [](unsigned char c) { return (c & kLetter) != 0; });
  if (body_classes & kNumber) return run_end(text, body, [](unsigned char c) { return (c & kNumber) != 0; });
  if (is_other(body_classes)) return run_end(text, body, is_other);
  // White space: the whole run when it reaches the end or more white space follows; otherwise
  // all but its last character, which then leads the next word (\s+(?!\S)), unless the run is
  // a single character (\s+).
  std::size_t last_start = start;
  std::size_t pos = start;
  while (pos < text.size()) {
    const Scanned next = scan(text, pos);
    if (!(next.classes & kSpace)) break;
    last_start = pos;
    pos = next.next;
  }
  if (pos == text.size() || last_start == start) return pos;
  return last_start;
}

}  // namespace vellum
