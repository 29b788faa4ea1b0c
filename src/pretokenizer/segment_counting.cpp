#include "pretokenizer/segment_counting.hpp"

#include "pretokenizer/bigram_counter.hpp"
#include "util/events.hpp"
#include "util/file.hpp"
#include "util/utf8.hpp"

namespace vellum {
namespace {

constexpr std::string_view kTarget = "vellum::pretokenizer";

// Reads the segment's bytes; the file's size is checked first, so that a segment reaching past
// the end fails without allocating its length.
Result<void> read_segment(const std::string& path, Segment segment, std::string& bytes) {
  auto file = ReadFile::open(path);
  if (!file) return std::unexpected(std::move(file.error()));
  auto size = file->size();
  if (!size) return std::unexpected(std::move(size.error()));
  if (segment.offset > *size || segment.length > *size - segment.offset) {
    return std::unexpected(Error::io("failed to fill whole buffer"));
  }
  return file->read_exact_at(segment.offset, segment.length, bytes);
}

}  // namespace

Result<std::string> read_segment_text(const std::string& path, Segment segment) {
  std::string bytes;
  if (auto status = read_segment(path, segment, bytes); !status) return std::unexpected(std::move(status.error()));
  return decode_utf8_lossy(std::move(bytes));
}

Result<void> count_segment(const PreTokenizer& pre_tokenizer, const std::string& path,
                           Segment segment, std::string& text, WordViewMap& counts) {
  const events::Span span(kTarget, events::Level::Trace, "get_words_from_segment",
                          {{"offset", segment.offset}, {"len", segment.length}});
  events::increment_counter("get_words_from_segment.calls", 1);

  auto read = read_segment_text(path, segment);
  if (!read) return std::unexpected(std::move(read.error()));
  text = *std::move(read);
  auto status = pre_tokenizer.for_each_word(
      text, [&counts](std::string_view word) { return count_word(counts, word); });
  if (!status) return status;

  events::increment_counter("get_words_from_segment.len", segment.length);
  events::record_histogram("get_words_from_segment.words_count", static_cast<double>(counts.size()));
  events::event(kTarget, events::Level::Trace, "result", {{"words_len", counts.size()}});
  return ok();
}

Result<WordMap> count_file_words(const PreTokenizer& pre_tokenizer, const std::string& path,
                                 ChunkRequest request, BoundaryMode mode) {
  return fold_file_segments<WordMap>(
      path, request, mode, pre_tokenizer.eot_token(),
      [&](Segment segment, WordMap& words) -> Result<void> {
        std::string text;
        WordViewMap counts;
        if (auto status = count_segment(pre_tokenizer, path, segment, text, counts); !status) return status;
        return absorb_words(words, counts);
      },
      [](WordMap& into, WordMap&& from) { return combine_word_maps(into, std::move(from)); });
}

Result<BigramMap> count_file_bigrams(const PreTokenizer& pre_tokenizer, const std::string& path,
                                     ChunkRequest request, BoundaryMode mode) {
  return fold_file_segments<BigramMap>(
      path, request, mode, pre_tokenizer.eot_token(),
      [&](Segment segment, BigramMap& bigrams) -> Result<void> {
        auto text = read_segment_text(path, segment);
        if (!text) return std::unexpected(std::move(text.error()));
        return count_text_bigrams(pre_tokenizer, *text, bigrams);
      },
      combine_bigram_maps);
}

}  // namespace vellum
