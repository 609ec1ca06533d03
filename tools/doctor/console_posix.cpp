#include <unistd.h>

#include <cerrno>

#include "console.h"

namespace tavorin::doctor {

namespace {

void write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

void write_output(std::string_view text) { write_all(STDOUT_FILENO, text); }
void write_error(std::string_view text) { write_all(STDERR_FILENO, text); }

}  // namespace tavorin::doctor
