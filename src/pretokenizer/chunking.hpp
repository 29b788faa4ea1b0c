// File chunking: byte boundaries of a file at which no word can straddle the cut, so that the
// segments between them can be read and pre-tokenized independently and in parallel.
//
// Alignment modes: "eot" moves a boundary to the start of the next end-of-text marker, "line"
// to just after the next newline, "utf8" to the next character start; "auto" is "eot" when the
// marker occurs in the file and "line" otherwise. All functions are safe to call concurrently.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "util/error.hpp"
#include "util/invalid_argument.hpp"

namespace vellum {

enum class BoundaryMode { Auto, Eot, Line, Utf8 };

// The exact, case-sensitive mode names; anything else is SpecError "Unknown boundary mode: {}".
[[nodiscard]] Result<BoundaryMode> parse_boundary_mode(std::string_view text);

// How the file is to be cut before alignment: chunks of a given size in bytes, or a given
// number of chunks of equal size.
struct ChunkRequest {
  enum class Kind { ChunkSize, NumChunks };
  Kind kind;
  std::uint64_t value;

  static ChunkRequest chunk_size(std::uint64_t bytes) { return {Kind::ChunkSize, bytes}; }
  static ChunkRequest num_chunks(std::uint64_t count) { return {Kind::NumChunks, count}; }
};

// How the file methods cut a file: chunks of `request` bytes aligned by `mode`.
struct FileChunking {
  ChunkRequest request;
  BoundaryMode mode;
};

// The chunking arguments of the file methods, checked in this order: the boundary mode (its
// SpecError message), then a chunk size of at least 1 ("chunk_size must be at least 1").
[[nodiscard]] Checked<FileChunking> parse_file_chunking(std::uint64_t chunk_size, std::string_view boundary);

struct Segment {
  std::uint64_t offset;
  std::uint64_t length;

  friend bool operator==(const Segment&, const Segment&) = default;
};

// Ascending, distinct offsets from 0 to the file size ([0, 0] for an empty file). Reads at most a
// few KiB per boundary in line and utf8 modes; the marker-presence test of auto and eot reads
// the whole file when the marker does not occur. Open, metadata and read failures are Io errors.
[[nodiscard]] Result<std::vector<std::uint64_t>> find_boundaries(const std::string& path,
                                                                 ChunkRequest request,
                                                                 BoundaryMode mode,
                                                                 std::string_view eot_token);

// The spans between consecutive boundaries; an empty file gives the one segment (0, 0).
std::vector<Segment> segments(const std::vector<std::uint64_t>& boundaries);

}  // namespace vellum
