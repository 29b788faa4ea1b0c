// Word-counter files: any bytes either fail to load or load into counts that save and load back
// unchanged.
#include "memory_file.hpp"
#include "pretokenizer/word_counter_file.hpp"

using namespace vellum;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::MemoryFile input;
  static fuzz::MemoryFile saved;
  auto counts = load_word_counts(input.holding(fuzz::as_text(data, size)));
  if (!counts) return 0;
  fuzz::require(save_word_counts(saved.path(), *counts).has_value());
  auto again = load_word_counts(saved.path());
  fuzz::require(again.has_value() && *again == *counts);
  return 0;
}
