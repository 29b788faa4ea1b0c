// Plain file access for the core: size, positioned exact reads, and buffered writing.
//
// Only regular files are read, and regular files or devices written (anything else is an Io
// error at open, which never blocks). Every failure is returned as an Io error carrying the operating system's text. A ReadFile or
// WriteFile owns its descriptor and closes it when destroyed; neither may be shared between
// threads (open one per thread instead).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "util/error.hpp"

namespace vellum {

// The operating system's text for `errno_value`, e.g. "No such file or directory (os error 2)".
std::string os_error_text(int errno_value);

class ReadFile {
 public:
  [[nodiscard]] static Result<ReadFile> open(const std::string& path);
  ReadFile(ReadFile&& other) noexcept;
  ReadFile& operator=(ReadFile&&) = delete;
  ~ReadFile();

  [[nodiscard]] Result<std::uint64_t> size() const;
  // Reads exactly `length` bytes at `offset` into `out` (resized to `length`); fewer bytes
  // available is an Io error "failed to fill whole buffer".
  [[nodiscard]] Result<void> read_exact_at(std::uint64_t offset, std::size_t length,
                                           std::string& out) const;
  // Reads up to `length` bytes at `offset` into `out` (resized to what was read; short only at
  // the end of the file).
  [[nodiscard]] Result<void> read_at(std::uint64_t offset, std::size_t length,
                                     std::string& out) const;

 private:
  explicit ReadFile(int fd) : fd_(fd) {}
  int fd_;
};

// Writes through an 8 KiB buffer. Opening creates or truncates the file (mode 0666 before the
// umask). Write failures are Io errors; the buffer is flushed by finish().
class BufferedWriter {
 public:
  static constexpr std::size_t kBufferSize = 8192;

  [[nodiscard]] static Result<BufferedWriter> create(const std::string& path);
  BufferedWriter(BufferedWriter&& other) noexcept;
  BufferedWriter& operator=(BufferedWriter&&) = delete;
  ~BufferedWriter();

  [[nodiscard]] Result<void> write(std::string_view bytes);
  // Writes out what is buffered and closes the file.
  [[nodiscard]] Result<void> finish();

 private:
  explicit BufferedWriter(int fd) : fd_(fd) { buffer_.reserve(kBufferSize); }
  [[nodiscard]] Result<void> flush();
  [[nodiscard]] Result<void> write_all(std::string_view bytes);

  int fd_;
  std::string buffer_;
};

// Reads a whole file into `out`.
[[nodiscard]] Result<void> read_whole_file(const std::string& path, std::string& out);

}  // namespace vellum
