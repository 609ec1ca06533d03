#pragma once

#include <unistd.h>

#include <cstddef>
#include <span>
#include <string_view>

#include "platform/io_error.h"
#include "platform/posix/error_codes.h"

namespace tavorin {

// Closes a file descriptor when the operation that opened it ends.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool is_open() const { return fd_ >= 0; }

 private:
  int fd_;
};

inline Result<std::size_t> read_fd(int fd, std::span<char> buffer) {
  ssize_t got = ::read(fd, buffer.data(), buffer.size());
  if (got < 0) return std::unexpected(last_error());
  return static_cast<std::size_t>(got);
}

inline Result<std::size_t> write_fd(int fd, std::string_view bytes) {
  ssize_t written = ::write(fd, bytes.data(), bytes.size());
  if (written < 0) return std::unexpected(last_error());
  return static_cast<std::size_t>(written);
}

}  // namespace tavorin
