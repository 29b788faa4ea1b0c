#include "pretokenizer/chunking.hpp"

#include <algorithm>

#include "util/events.hpp"
#include "util/file.hpp"
#include "util/utf8.hpp"

namespace vellum {
namespace {

constexpr std::size_t kBlockSize = 4096;
constexpr std::string_view kTarget = "vellum::pretokenizer";

// Whether `marker` occurs anywhere in the file. Blocks are searched with the last
// (marker length - 1) bytes of the previous data carried over, so a marker across two blocks is
// found too.
Result<bool> contains_marker(const ReadFile& file, std::string_view marker) {
  if (marker.empty()) return true;
  std::string window;
  std::string block;
  for (std::uint64_t offset = 0;; offset += kBlockSize) {
    if (auto status = file.read_at(offset, kBlockSize, block); !status) {
      return std::unexpected(std::move(status.error()));
    }
    if (block.empty()) return false;
    window += block;
    if (window.find(marker) != std::string::npos) return true;
    if (window.size() >= marker.size()) window.erase(0, window.size() - (marker.size() - 1));
  }
}

// Moves `b` forward to the start of a character: past up to three continuation bytes.
Result<std::uint64_t> align_utf8(const ReadFile& file, std::uint64_t b, std::uint64_t size) {
  std::string bytes;
  if (auto status = file.read_at(b, 4, bytes); !status) return std::unexpected(std::move(status.error()));
  if (bytes.empty() || !is_utf8_continuation(static_cast<unsigned char>(bytes[0]))) {
    return std::min(b, size);
  }
  std::size_t skip = 0;
  while (skip < bytes.size() && is_utf8_continuation(static_cast<unsigned char>(bytes[skip]))) ++skip;
  return std::min(b + skip, size);
}

// Moves `b` to just after the next newline within one block, else to a character start.
Result<std::uint64_t> align_line(const ReadFile& file, std::uint64_t b, std::uint64_t size) {
  if (b == 0) return b;  // the start of the file is a line start
  std::string bytes;
  if (auto status = file.read_at(b - 1, 1, bytes); !status) return std::unexpected(std::move(status.error()));
  if (bytes == "\n") return b;
  if (auto status = file.read_at(b, kBlockSize, bytes); !status) {
    return std::unexpected(std::move(status.error()));
  }
  if (const std::size_t p = bytes.find('\n'); p != std::string::npos) return std::min(b + p + 1, size);
  return align_utf8(file, b, size);
}

// Moves `b` to the start of the next marker found within a full block; a short (final) block
// is not searched and sends the boundary to the end of the file.
Result<std::uint64_t> align_eot(const ReadFile& file, std::uint64_t b, std::uint64_t size,
                                std::string_view marker) {
  std::string block;
  for (std::uint64_t start = b;; start += kBlockSize) {
    if (auto status = file.read_at(start, kBlockSize, block); !status) {
      return std::unexpected(std::move(status.error()));
    }
    if (block.size() < kBlockSize) return size;
    if (const std::size_t p = block.find(marker); p != std::string::npos) return start + p;
  }
}

}  // namespace

Result<BoundaryMode> parse_boundary_mode(std::string_view text) {
  if (text == "auto") return BoundaryMode::Auto;
  if (text == "eot") return BoundaryMode::Eot;
  if (text == "line") return BoundaryMode::Line;
  if (text == "utf8") return BoundaryMode::Utf8;
  return std::unexpected(Error::spec_error("Unknown boundary mode: " + std::string(text)));
}

Checked<FileChunking> parse_file_chunking(std::uint64_t chunk_size, std::string_view boundary) {
  auto mode = parse_boundary_mode(boundary);
  if (!mode) return std::unexpected(InvalidArgument::from(mode.error()));
  if (chunk_size == 0) return std::unexpected(InvalidArgument{"chunk_size must be at least 1"});
  return FileChunking{ChunkRequest::chunk_size(chunk_size), *mode};
}

Result<std::vector<std::uint64_t>> find_boundaries(const std::string& path, ChunkRequest request,
                                                   BoundaryMode mode, std::string_view eot_token) {
  auto file = ReadFile::open(path);
  if (!file) return std::unexpected(std::move(file.error()));
  auto file_size = file->size();
  if (!file_size) return std::unexpected(std::move(file_size.error()));
  const std::uint64_t size = *file_size;

  std::uint64_t count;
  std::uint64_t length;
  if (request.kind == ChunkRequest::Kind::ChunkSize) {
    if (size == 0 || request.value == 0) return std::vector<std::uint64_t>{0, size};
    count = size / request.value + (size % request.value != 0);
    length = request.value;
  } else {
    if (request.value < 2 || size == 0) return std::vector<std::uint64_t>{0, size};
    count = request.value;
    length = size / request.value;
  }
  if (count < 2) return std::vector<std::uint64_t>{0, size};
  events::event(kTarget, events::Level::Debug, "find_chunk_boundaries",
                {{"file_size", size}, {"chunk_size", length}, {"desired_num_chunks", count}});

  // More chunks than bytes make every interior boundary 0: one of them stands for all (they
  // align alike and collapse into one), so an absurd count costs nothing.
  const std::uint64_t laid_out = length == 0 ? 2 : count;
  std::vector<std::uint64_t> boundaries;
  boundaries.reserve(laid_out + 1);
  for (std::uint64_t i = 0; i < laid_out; ++i) boundaries.push_back(i * length);
  boundaries.push_back(size);

  if (mode == BoundaryMode::Auto || mode == BoundaryMode::Eot) {
    auto found = contains_marker(*file, eot_token);
    if (!found) return std::unexpected(std::move(found.error()));
    if (*found) {
      mode = BoundaryMode::Eot;
    } else if (mode == BoundaryMode::Auto) {
      mode = BoundaryMode::Line;
    } else {
      return std::vector<std::uint64_t>{0, size};
    }
  }

  for (std::size_t i = 1; i + 1 < boundaries.size(); ++i) {
    const std::uint64_t b = boundaries[i];
    Result<std::uint64_t> aligned =
        mode == BoundaryMode::Eot    ? align_eot(*file, b, size, eot_token)
        : mode == BoundaryMode::Line ? align_line(*file, b, size)
                                     : align_utf8(*file, b, size);
    if (!aligned) return std::unexpected(std::move(aligned.error()));
    boundaries[i] = *aligned;
  }
  std::sort(boundaries.begin(), boundaries.end());
  boundaries.erase(std::unique(boundaries.begin(), boundaries.end()), boundaries.end());

  events::event(kTarget, events::Level::Debug, "find_chunk_boundaries",
                {{"boundaries.len", boundaries.size()}});
  return boundaries;
}

std::vector<Segment> segments(const std::vector<std::uint64_t>& boundaries) {
  if (boundaries.size() < 2) return {Segment{0, 0}};
  std::vector<Segment> result;
  result.reserve(boundaries.size() - 1);
  for (std::size_t i = 0; i + 1 < boundaries.size(); ++i) {
    result.push_back(Segment{boundaries[i], boundaries[i + 1] - boundaries[i]});
  }
  return result;
}

}  // namespace vellum
