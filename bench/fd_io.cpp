#include "fd_io.h"

#include <unistd.h>

#include <cerrno>

namespace bench {

bool write_parts(int fd, iovec* parts, int count) {
  while (count > 0) {
    ssize_t written = ::writev(fd, parts, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    auto left = static_cast<std::size_t>(written);
    while (count > 0 && left >= parts->iov_len) {
      left -= parts->iov_len;
      ++parts;
      --count;
    }
    if (count > 0) {
      parts->iov_base = static_cast<char*>(parts->iov_base) + left;
      parts->iov_len -= left;
    }
  }
  return true;
}

bool read_exact(int fd, char* into, std::size_t size) {
  while (size > 0) {
    ssize_t got = ::read(fd, into, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    into += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace bench
