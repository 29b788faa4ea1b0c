// MemoryFile: fuzz input handed to the readers as a regular file that lives in memory, so that a
// target runs the same path-based code the module runs, without touching the disk.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "bpe/token_text.hpp"
#include "bpe/units.hpp"

namespace vellum::fuzz {

class MemoryFile {
 public:
  MemoryFile() : fd_(memfd_create("vellum-fuzz", 0)) {
    if (fd_ < 0) std::abort();
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  ~MemoryFile() { close(fd_); }

  // Replaces the file's content with `bytes`; returns its path.
  const std::string& holding(std::string_view bytes) {
    if (ftruncate(fd_, 0) != 0) std::abort();
    if (!bytes.empty() && pwrite(fd_, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) std::abort();
    return path_;
  }
  const std::string& path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Calls `work.template operator()<Unit>(format)` for the one of the three kinds of token files
// (gpt2 bytes, vellum bytes, vellum characters) that `choice` picks.
template <class Work>
void with_file_kind(std::uint8_t choice, Work&& work) {
  switch (choice % 3) {
    case 0: work.template operator()<std::uint8_t>(FileFormat::Gpt2); break;
    case 1: work.template operator()<std::uint8_t>(FileFormat::Vellum); break;
    default: work.template operator()<Character>(FileFormat::Vellum); break;
  }
}

// A broken expectation: abort, so that libFuzzer records the input as a crash.
inline void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace vellum::fuzz
