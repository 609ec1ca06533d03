#include "answer_lines.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "fd_io.h"

namespace bench {

namespace {

// Room for a few of the largest lines, so lines that arrive back to back
// are answered without waiting for more space.
constexpr std::size_t CAPACITY = 4 * 1048576 + 64;

constexpr std::string_view CLOSING_LINE = "}\n";

bool answer(int connection, const char* line, std::size_t size) {
  iovec parts[3] = {
      {const_cast<char*>(ECHO_OPENING.data()), ECHO_OPENING.size()},
      {const_cast<char*>(line), size},
      {const_cast<char*>(CLOSING_LINE.data()), CLOSING_LINE.size()}};
  return write_parts(connection, parts, 3);
}

// Answers every whole line in the first `used` bytes, looking for line feeds
// from `search` on (the bytes before it hold none); returns how many bytes
// were answered, or -1 when the peer has gone.
long answer_whole_lines(int connection, char* buffer, std::size_t used,
                        std::size_t search) {
  std::size_t start = 0;
  for (;;) {
    const void* line_feed = std::memchr(buffer + search, '\n', used - search);
    if (line_feed == nullptr) return static_cast<long>(start);
    auto stop =
        static_cast<std::size_t>(static_cast<const char*>(line_feed) - buffer);
    if (!answer(connection, buffer + start, stop - start)) return -1;
    start = stop + 1;
    search = start;
  }
}

}  // namespace

void answer_lines(int connection) {
  // Not zeroed: only the pages that lines fill are ever touched.
  auto buffer = std::make_unique_for_overwrite<char[]>(CAPACITY);
  std::size_t used = 0;
  for (;;) {
    if (used == CAPACITY) return;  // a line longer than any relay sends
    ssize_t got = ::recv(connection, buffer.get() + used, CAPACITY - used, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    std::size_t search = used;
    used += static_cast<std::size_t>(got);
    long answered = answer_whole_lines(connection, buffer.get(), used, search);
    if (answered < 0) return;
    if (answered == 0) continue;
    used -= static_cast<std::size_t>(answered);
    std::memmove(buffer.get(), buffer.get() + answered, used);
  }
}

}  // namespace bench
