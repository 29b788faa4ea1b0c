// Engine settings, chosen for bounded matching:
// - PCRE2_UTF | PCRE2_UCP: \s, \p{L} and friends follow Unicode; subjects are valid UTF-8, so
//   matches skip the engine's UTF check.
// - JIT (complete matches only); a pattern the JIT refuses still runs in the interpreter.
// - A match limit of 10,000,000 per search: ordinary patterns stay orders of magnitude below
//   it, while catastrophic backtracking stops within a fraction of a second with an error. The
//   interpreter additionally gets a depth limit and a heap limit.
// - Each thread owns its match data, match context and a JIT stack of up to 8 MiB (allocated
//   on first use), so no state is shared between matching threads.
#define PCRE2_CODE_UNIT_WIDTH 8
#include "util/regex.hpp"

#include <pcre2.h>

#include <string>

namespace vellum {
namespace {

constexpr std::uint32_t kMatchLimit = 10'000'000;
constexpr std::uint32_t kDepthLimit = 100'000;
constexpr std::uint32_t kHeapLimitKib = 256 * 1024;
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMax = 8 * 1024 * 1024;

std::string engine_message(int code) {
  PCRE2_UCHAR buffer[256];
  const int length = pcre2_get_error_message(code, buffer, sizeof buffer);
  if (length < 0) return "unknown engine error " + std::to_string(code);
  return std::string(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
}

}  // namespace

// Per-thread matching state, created on a thread's first match and freed when it exits.
class MatchScratch {
 public:
  MatchScratch()
      : data_(pcre2_match_data_create(1, nullptr)),
        context_(pcre2_match_context_create(nullptr)),
        jit_stack_(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr)) {
    check_allocated();
    pcre2_set_match_limit(context_, kMatchLimit);
    pcre2_set_depth_limit(context_, kDepthLimit);
    pcre2_set_heap_limit(context_, kHeapLimitKib);
    pcre2_jit_stack_assign(context_, nullptr, jit_stack_);
  }
  ~MatchScratch() {
    pcre2_jit_stack_free(jit_stack_);
    pcre2_match_context_free(context_);
    pcre2_match_data_free(data_);
  }
  MatchScratch(const MatchScratch&) = delete;
  MatchScratch& operator=(const MatchScratch&) = delete;

  pcre2_match_data* data() const { return data_; }
  pcre2_match_context* context() const { return context_; }

 private:
  void check_allocated() const {
    if (data_ == nullptr || context_ == nullptr || jit_stack_ == nullptr) throw std::bad_alloc();
  }

  pcre2_match_data* data_;
  pcre2_match_context* context_;
  pcre2_jit_stack* jit_stack_;
};

MatchScratch& Regex::thread_scratch() {
  thread_local MatchScratch scratch;
  return scratch;
}

Result<std::shared_ptr<const Regex>> Regex::compile(std::string_view pattern) {
  int error_code = 0;
  PCRE2_SIZE error_offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                   PCRE2_UTF | PCRE2_UCP, &error_code, &error_offset, nullptr);
  if (code == nullptr) {
    return std::unexpected(Error::regex(engine_message(error_code) + " at offset " +
                                        std::to_string(error_offset)));
  }
  const bool jit = pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;
  return std::shared_ptr<const Regex>(new Regex(std::string(pattern), code, jit));
}

Regex::Regex(std::string pattern, pcre2_code* code, bool jit)
    : pattern_(std::move(pattern)), code_(code), jit_(jit) {}

Regex::~Regex() { pcre2_code_free(code_); }

Result<Regex::Found> Regex::find(MatchScratch& state, std::string_view subject, std::size_t start,
                                 bool not_empty_at_start, MatchSpan& span) const {
  const auto* text = reinterpret_cast<PCRE2_SPTR>(subject.data());
  int rc;
  if (jit_ && !not_empty_at_start) {
    rc = pcre2_jit_match(code_, text, subject.size(), start, 0, state.data(), state.context());
  } else {
    // Anchored retries are not JIT-able; the engine runs them in the interpreter.
    const std::uint32_t options =
        PCRE2_NO_UTF_CHECK | (not_empty_at_start ? PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED : 0);
    rc = pcre2_match(code_, text, subject.size(), start, options, state.data(), state.context());
  }
  if (rc == PCRE2_ERROR_NOMATCH) return Found::NoMatch;
  if (rc < 0) return std::unexpected(Error::regex(engine_message(rc)));
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(state.data());
  if (ovector[1] < ovector[0] || ovector[1] < start) {
    // Only \K inside a look-around can do this; such a "match" cannot be a piece of text.
    return std::unexpected(Error::regex("match ends before its start (\\K in a look-around)"));
  }
  span = MatchSpan{ovector[0], ovector[1]};
  return Found::Match;
}

}  // namespace vellum
