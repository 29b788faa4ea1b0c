// Regex: a compiled PCRE2 pattern (UTF, Unicode properties, JIT where available).
//
// Immutable after compilation and shared by reference between pre-tokenizer copies and threads.
// Matching uses per-thread match data and a per-thread JIT stack, so any number of threads may
// match with one Regex at once. A match limit bounds backtracking: a pathological pattern fails
// with a Regex error instead of running without end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "util/error.hpp"
#include "util/utf8.hpp"

struct pcre2_real_code_8;

namespace vellum {

// Per-thread matching state (match data, match context, JIT stack); see regex.cpp.
class MatchScratch;

// A match as byte offsets into the subject: [start, end).
struct MatchSpan {
  std::size_t start;
  std::size_t end;
};

class Regex {
 public:
  // Compiles `pattern`; a pattern the engine refuses is a Regex error naming the offset.
  [[nodiscard]] static Result<std::shared_ptr<const Regex>> compile(std::string_view pattern);

  ~Regex();
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  const std::string& pattern() const { return pattern_; }

  // Calls `on_match(MatchSpan) -> Result<void>` for each successive non-overlapping match in
  // `subject`, left to right. After an empty match the next match may not be empty at the same
  // position, so the scan always advances. Stops at the first failure of the engine or of
  // `on_match` and returns it.
  // Requires: `subject` is valid UTF-8.
  template <class OnMatch>
  [[nodiscard]] Result<void> for_each_match(std::string_view subject, OnMatch&& on_match) const;

 private:
  enum class Found { Match, NoMatch };

  Regex(std::string pattern, pcre2_real_code_8* code, bool jit);

  // The calling thread's scratch, looked up once per scan: thread-local access from a shared
  // library goes through a function call, too slow to repeat for every match.
  static MatchScratch& thread_scratch();

  // Finds the leftmost match at or after `start`; with `not_empty_at_start`, an empty match
  // at `start` is refused (and the search is anchored there, as PCRE2 requires for a retry).
  [[nodiscard]] Result<Found> find(MatchScratch& scratch, std::string_view subject, std::size_t start,
                                   bool not_empty_at_start, MatchSpan& span) const;

  std::string pattern_;
  pcre2_real_code_8* code_;
  bool jit_;
};

template <class OnMatch>
Result<void> Regex::for_each_match(std::string_view subject, OnMatch&& on_match) const {
  MatchScratch& scratch = thread_scratch();
  std::size_t pos = 0;
  bool after_empty = false;
  while (pos <= subject.size()) {
    MatchSpan span{};
    auto found = find(scratch, subject, pos, after_empty, span);
    if (!found) return std::unexpected(std::move(found.error()));
    if (*found == Found::NoMatch) {
      if (!after_empty || pos == subject.size()) return ok();
      // No non-empty match starts here: move one character on and search freely again.
      ++pos;
      while (pos < subject.size() && is_utf8_continuation(static_cast<unsigned char>(subject[pos]))) ++pos;
      after_empty = false;
      continue;
    }
    if (auto status = on_match(span); !status) return status;
    after_empty = span.start == span.end;
    pos = span.end;
  }
  return ok();
}

}  // namespace vellum
