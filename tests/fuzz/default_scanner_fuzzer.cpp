// Differential: the hand-written scanner of the default pattern against the regular-expression
// engine running that pattern. Any disagreement on valid UTF-8 text is a crash.
#include <vector>

#include "memory_file.hpp"
#include "pretokenizer/default_scanner.hpp"
#include "pretokenizer/pre_tokenizer.hpp"
#include "util/utf8.hpp"

using namespace vellum;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::shared_ptr<const Regex> engine = *Regex::compile(kDefaultPattern);
  const std::string text = decode_utf8_lossy(std::string(fuzz::as_text(data, size)));
  std::vector<MatchSpan> expected;
  std::vector<MatchSpan> scanned;
  fuzz::require(engine->for_each_match(text, [&](MatchSpan span) -> Result<void> {
    expected.push_back(span);
    return ok();
  }).has_value());
  fuzz::require(for_each_default_match(text, [&](MatchSpan span) -> Result<void> {
    scanned.push_back(span);
    return ok();
  }).has_value());
  fuzz::require(expected.size() == scanned.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    fuzz::require(expected[i].start == scanned[i].start && expected[i].end == scanned[i].end);
  }
  return 0;
}
