// Counting the words of file segments: one segment at a time, or a whole file cut into segments
// that the worker pool counts in parallel, each worker holding one segment's text at a time.
#pragma once

#include <string>
#include <vector>

#include "pretokenizer/chunking.hpp"
#include "pretokenizer/pre_tokenizer.hpp"
#include "pretokenizer/word_map.hpp"
#include "util/error.hpp"

namespace vellum {

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

}  // namespace vellum
