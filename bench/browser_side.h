#pragma once

#include <string>
#include <string_view>

namespace bench {

// The browser's half of the native messaging wire: a 4-byte little-endian
// length, then the bytes. Writing fails the benchmark when the host has
// gone; reading returns false at the end of the host's output.
void send_frame(int fd, std::string_view payload);
bool receive_frame(int fd, std::string& payload);

}  // namespace bench
