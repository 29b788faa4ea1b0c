#include "util/file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace vellum {
namespace {

Error last_os_error() { return Error::io(os_error_text(errno)); }

// Files are read at positions and in segments: only regular files allow that (a FIFO would
// block the call forever, a device reads as empty or endless). Writing goes to regular files or
// devices (/dev/null, /dev/full), never to a FIFO or socket, which could block. Descriptors are
// opened non-blocking so that opening a FIFO returns at once.
Result<int> checked_kind(int fd, bool writing) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    const Error error = last_os_error();
    ::close(fd);
    return std::unexpected(error);
  }
  if (S_ISREG(status.st_mode) || (writing && (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)))) return fd;
  ::close(fd);
  if (S_ISDIR(status.st_mode)) return std::unexpected(Error::io(os_error_text(EISDIR)));
  const char* kind = S_ISFIFO(status.st_mode)  ? "a FIFO"
                     : S_ISSOCK(status.st_mode) ? "a socket"
                     : S_ISCHR(status.st_mode)  ? "a character device"
                     : S_ISBLK(status.st_mode)  ? "a block device"
                                                : "not a regular file";
  return std::unexpected(Error::io(std::string("cannot ") + (writing ? "write to " : "read from ") + kind +
                                   (writing ? ": only regular files and devices are written"
                                            : ": only regular files are read")));
}

}  // namespace

std::string os_error_text(int errno_value) {
  return std::string(std::strerror(errno_value)) + " (os error " + std::to_string(errno_value) + ")";
}

Result<ReadFile> ReadFile::open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::unexpected(last_os_error());
  auto regular = checked_kind(fd, false);
  if (!regular) return std::unexpected(std::move(regular.error()));
  return ReadFile(*regular);
}

ReadFile::ReadFile(ReadFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

ReadFile::~ReadFile() {
  if (fd_ >= 0) ::close(fd_);
}

Result<std::uint64_t> ReadFile::size() const {
  struct stat status {};
  if (::fstat(fd_, &status) != 0) return std::unexpected(last_os_error());
  return static_cast<std::uint64_t>(status.st_size);
}

Result<void> ReadFile::read_at(std::uint64_t offset, std::size_t length, std::string& out) const {
  out.resize(length);
  std::size_t filled = 0;
  while (filled < length) {
    const ssize_t got = ::pread(fd_, out.data() + filled, length - filled,
                                static_cast<off_t>(offset + filled));
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(last_os_error());
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  out.resize(filled);
  return ok();
}

Result<void> ReadFile::read_exact_at(std::uint64_t offset, std::size_t length,
                                     std::string& out) const {
  if (auto status = read_at(offset, length, out); !status) return status;
  if (out.size() < length) return std::unexpected(Error::io("failed to fill whole buffer"));
  return ok();
}

Result<BufferedWriter> BufferedWriter::create(const std::string& path) {
  // Checked before truncating, so that a refused file is left untouched.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return std::unexpected(last_os_error());
  auto regular = checked_kind(fd, true);
  if (!regular) return std::unexpected(std::move(regular.error()));
  struct stat status {};
  if (::fstat(*regular, &status) == 0 && S_ISREG(status.st_mode) && ::ftruncate(*regular, 0) != 0) {
    const Error error = last_os_error();
    ::close(*regular);
    return std::unexpected(error);
  }
  return BufferedWriter(*regular);
}

BufferedWriter::BufferedWriter(BufferedWriter&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), buffer_(std::move(other.buffer_)) {}

BufferedWriter::~BufferedWriter() {
  if (fd_ >= 0) ::close(fd_);
}

Result<void> BufferedWriter::write(std::string_view bytes) {
  if (buffer_.size() + bytes.size() > kBufferSize) {
    if (auto status = flush(); !status) return status;
  }
  if (bytes.size() >= kBufferSize) return write_all(bytes);
  buffer_.append(bytes);
  return ok();
}

Result<void> BufferedWriter::flush() {
  auto status = write_all(buffer_);
  buffer_.clear();
  return status;
}

Result<void> BufferedWriter::write_all(std::string_view bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t count = ::write(fd_, bytes.data() + written, bytes.size() - written);
    if (count < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(last_os_error());
    }
    written += static_cast<std::size_t>(count);
  }
  return ok();
}

Result<void> BufferedWriter::finish() {
  auto status = flush();
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0 && status) return std::unexpected(last_os_error());
  return status;
}

Result<void> read_whole_file(const std::string& path, std::string& out) {
  auto file = ReadFile::open(path);
  if (!file) return std::unexpected(std::move(file.error()));
  auto size = file->size();
  if (!size) return std::unexpected(std::move(size.error()));
  return file->read_at(0, *size, out);
}

}  // namespace vellum
