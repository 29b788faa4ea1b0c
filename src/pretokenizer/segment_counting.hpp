// Counting the words and bigrams of file segments: one segment at a time, or a whole file cut
// into segments that the worker pool counts in parallel, each worker holding one segment's text
// at a time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "bigram/bigram_counts.hpp"
#include "pretokenizer/chunking.hpp"
#include "pretokenizer/pre_tokenizer.hpp"
#include "pretokenizer/word_map.hpp"
#include "util/error.hpp"
#include "util/parallel.hpp"

namespace vellum {

// Exactly the segment's bytes (a short file is the Io error "failed to fill whole buffer"),
// decoded leniently (invalid UTF-8 becomes U+FFFD).
[[nodiscard]] Result<std::string> read_segment_text(const std::string& path, Segment segment);

// Cuts the file into segments and folds them in parallel: `count(segment, Partial&)` counts one
// segment into the partial of its worker, `combine(Partial& into, Partial&& from)` sums two
// partials. The first failure stops the rest and is returned.
template <class Partial, class Count, class Combine>
[[nodiscard]] Result<Partial> fold_file_segments(const std::string& path, ChunkRequest request, BoundaryMode mode,
                                                 std::string_view eot_token, Count count, Combine combine) {
  auto boundaries = find_boundaries(path, request, mode, eot_token);
  if (!boundaries) return std::unexpected(std::move(boundaries.error()));
  const std::vector<Segment> parts = segments(*boundaries);
  return parallel_fold<Partial>(
      parts.size(), [&](std::size_t index, Partial& partial) { return count(parts[index], partial); }, combine);
}

// Reads exactly the segment's bytes (a short file is the Io error "failed to fill whole
// buffer"), decodes them leniently (invalid UTF-8 becomes U+FFFD) into `text`, and counts the
// words into `counts`, whose keys view `text`. Emits the segment's events and metrics.
[[nodiscard]] Result<void> count_segment(const PreTokenizer& pre_tokenizer, const std::string& path,
                                         Segment segment, std::string& text, WordViewMap& counts);

// The summed words of all segments of the file. Segments are counted in parallel, each with its
// own file handle; the first failure stops the rest and is returned.
[[nodiscard]] Result<WordMap> count_file_words(const PreTokenizer& pre_tokenizer,
                                               const std::string& path, ChunkRequest request,
                                               BoundaryMode mode);

// The summed bigrams of all segments of the file, counted between special tokens as
// BigramCounter counts a text.
[[nodiscard]] Result<BigramMap> count_file_bigrams(const PreTokenizer& pre_tokenizer, const std::string& path,
                                                   ChunkRequest request, BoundaryMode mode);

}  // namespace vellum
