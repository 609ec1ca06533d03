#pragma once

#include <sys/uio.h>

#include <cstddef>

namespace bench {

// Writes every byte of the parts, in order, across as many calls as the
// descriptor needs; false when it fails or the reader has gone.
bool write_parts(int fd, iovec* parts, int count);

// Reads exactly `size` bytes; false at the end of input or on an error.
bool read_exact(int fd, char* into, std::size_t size);

}  // namespace bench
