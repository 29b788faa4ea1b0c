// Encoding a whole file: segments cut at end-of-text markers (or line ends), encoded in parallel
// with their own file handles, joined in file order into one buffer.
#include <string>

#include <tbb/parallel_for.h>

#include "bpe/encoder/encoder.hpp"
#include "bpe/unit_kinds.hpp"
#include "pretokenizer/chunking.hpp"
#include "util/events.hpp"
#include "util/file.hpp"
#include "util/parallel.hpp"
#include "util/utf8.hpp"

namespace vellum {

template <class Kind>
Result<TokenIds> Encoder<Kind>::encode_file(const std::string& path, std::uint64_t num_chunks) const {
  auto boundaries = find_boundaries(path, ChunkRequest::num_chunks(num_chunks), BoundaryMode::Auto,
                                    pre_tokenizer_.eot_token());
  if (!boundaries) return std::unexpected(std::move(boundaries.error()));
  const std::vector<Segment> parts = segments(*boundaries);
  if (events::receiver() != nullptr) {
    events::event("vellum::bpe::encoder", events::Level::Debug,
                  "Start encoding file in " + std::to_string(num_chunks) + " chunks...", {});
  }

  std::vector<std::optional<Result<TokenIds>>> results(parts.size());
  tbb::parallel_for(std::size_t{0}, parts.size(), [&](std::size_t index) {
    const Segment segment = parts[index];
    std::string bytes;
    auto file = ReadFile::open(path);
    Result<void> read = file ? file->read_exact_at(segment.offset, segment.length, bytes)
                             : Result<void>(std::unexpected(std::move(file.error())));
    if (!read) {
      results[index].emplace(std::unexpected(std::move(read.error())));
      return;
    }
    results[index].emplace(encode(decode_utf8_lossy(std::move(bytes))));
  });
  std::size_t total = 0;
  for (auto& result : results) {
    if (!*result) return std::unexpected(std::move(result->error()));
    total += (*result)->size();
  }
  events::event("vellum::bpe::encoder", events::Level::Debug, "Finished encoding segments, merging results...", {});
  TokenIds ids;
  ids.reserve(total);
  for (auto& result : results) ids.insert(ids.end(), (*result)->begin(), (*result)->end());
  return ids;
}

template Result<TokenIds> Encoder<ByteUnit>::encode_file(const std::string&, std::uint64_t) const;
template Result<TokenIds> Encoder<CharUnit>::encode_file(const std::string&, std::uint64_t) const;

}  // namespace vellum
