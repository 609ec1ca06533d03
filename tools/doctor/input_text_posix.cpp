#include <unistd.h>

#include <cerrno>

#include "input_text.h"

namespace tavorin::doctor {

std::string read_standard_input() {
  std::string text;
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return text;
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace tavorin::doctor
