#include "browser_side.h"

#include <cstdint>

#include "fail.h"
#include "fd_io.h"

namespace bench {

namespace {

constexpr std::size_t PREFIX_SIZE = 4;

}  // namespace

void send_frame(int fd, std::string_view payload) {
  char prefix[PREFIX_SIZE];
  auto length = static_cast<std::uint32_t>(payload.size());
  for (std::size_t i = 0; i < PREFIX_SIZE; ++i) {
    prefix[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  }
  iovec parts[2] = {{prefix, PREFIX_SIZE},
                    {const_cast<char*>(payload.data()), payload.size()}};
  if (!write_parts(fd, parts, 2)) fail_system("writing a frame to a relay");
}

bool receive_frame(int fd, std::string& payload) {
  char prefix[PREFIX_SIZE];
  if (!read_exact(fd, prefix, PREFIX_SIZE)) return false;
  std::uint32_t length = 0;
  for (std::size_t i = PREFIX_SIZE; i-- > 0;) {
    length = (length << 8) | static_cast<std::uint8_t>(prefix[i]);
  }
  // Growing only writes the new bytes; the read overwrites them all.
  payload.resize(length);
  return read_exact(fd, payload.data(), length);
}

}  // namespace bench
