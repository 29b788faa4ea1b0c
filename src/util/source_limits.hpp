// SourceLimits: how a stream of texts is cut into batches for counting: at most `max_records`
// texts and, unless one text alone is larger, at most `max_bytes` bytes per batch, counted on a
// worker thread of its own while the next batch fills (`prefetch`) or on the calling thread.
#pragma once

#include <cstdint>

#include "util/invalid_argument.hpp"

namespace vellum {

struct SourceLimits {
  std::uint64_t max_records;
  std::uint64_t max_bytes;
  bool prefetch;
};

// Checked in this order: a zero max_records, a zero max_bytes (both SourceBatch errors), a
// prefetch other than 0 or 1 ("prefetch must be 0 or 1").
[[nodiscard]] inline Checked<SourceLimits> parse_source_limits(std::uint64_t max_records, std::uint64_t max_bytes,
                                                              std::int64_t prefetch) {
  if (max_records == 0) return std::unexpected(InvalidArgument::from(Error::source_batch("max_records must be at least 1")));
  if (max_bytes == 0) return std::unexpected(InvalidArgument::from(Error::source_batch("max_bytes must be at least 1")));
  if (prefetch != 0 && prefetch != 1) return std::unexpected(InvalidArgument{"prefetch must be 0 or 1"});
  return SourceLimits{max_records, max_bytes, prefetch == 1};
}

}  // namespace vellum
