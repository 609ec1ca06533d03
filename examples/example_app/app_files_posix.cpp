#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app_files.h"

namespace tavorin::example {
namespace {

void (*stop_clean_up)() = nullptr;

extern "C" void stop_on_signal(int) {
  if (stop_clean_up != nullptr) stop_clean_up();
  ::_exit(0);
}

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t done = ::write(fd, bytes.data(), bytes.size());
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(done));
  }
  return true;
}

const char* configured(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace

// Where the host looks: $TMPDIR, else the user's own runtime directory,
// else /tmp.
std::string default_temp_dir() {
  if (const char* tmpdir = configured("TMPDIR")) return tmpdir;
  if (const char* runtime = configured("XDG_RUNTIME_DIR")) return runtime;
  return "/tmp";
}

// Mode 0600: the port is nobody else's business.
bool write_file(const char* path, std::string_view content) {
  int fd =
      ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool written = write_all(fd, content);
  return ::close(fd) == 0 && written;
}

// rename() replaces a link planted under the target name, never what it
// points to.
bool replace_file(const char* from, const char* to) {
  return std::rename(from, to) == 0;
}

void remove_file(const char* path) { ::unlink(path); }

void on_stop(void (*clean_up)()) {
  stop_clean_up = clean_up;
  struct sigaction action = {};
  action.sa_handler = stop_on_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

unsigned long process_id() { return static_cast<unsigned long>(::getpid()); }

}  // namespace tavorin::example
