#include "app_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace tavorin::example {
namespace {

// The paths live in fixed storage so that the signal handler can remove the
// files with nothing but async-signal-safe calls.
constexpr std::size_t PATH_CAPACITY = 4096;
char lock_path[PATH_CAPACITY];
char port_path[PATH_CAPACITY];

// Joins the file name to the temporary directory, into fixed storage.
bool set_path(char (&target)[PATH_CAPACITY], const std::string& dir,
              std::string_view name) {
  std::string path = dir;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  if (path.size() >= PATH_CAPACITY) return false;
  std::memcpy(target, path.c_str(), path.size() + 1);
  return true;
}

// A path stays set only once its file has been written, so the app removes
// its own files and never one that someone else left there. The lock file
// goes first: a host that starts meanwhile then says at once that the app is
// not running, instead of trying a port that is about to close.
void remove_files() {
  if (lock_path[0] != '\0') ::unlink(lock_path);
  if (port_path[0] != '\0') ::unlink(port_path);
}

extern "C" void stop_on_signal(int) {
  remove_files();
  ::_exit(0);
}

// Readable by the app's own user only: the port is nobody else's business.
// Never through a link someone else planted under the name.
bool write_whole_file(const char* path, std::string_view content) {
  int fd =
      ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool written = write_all(fd, content);
  return ::close(fd) == 0 && written;
}

}  // namespace

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t done = ::write(fd, bytes.data(), bytes.size());
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(done));
  }
  return true;
}

AppFiles::AppFiles(const std::string& temp_dir, LockMode mode)
    : temp_dir_(temp_dir), mode_(mode) {
  struct sigaction action = {};
  action.sa_handler = stop_on_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

AppFiles::~AppFiles() { remove_files(); }

bool AppFiles::create_lock_file() {
  const char* name = mode_ == LockMode::Dev ? "tavorin_dev_instance.lock"
                                            : "tavorin_app_instance.lock";
  // The host only looks at the lock file's presence; the process id is a
  // courtesy for people who look at it.
  char content[32];
  int length = std::snprintf(content, sizeof content, "%d\n", ::getpid());
  bool written = set_path(lock_path, temp_dir_, name) &&
                 write_whole_file(lock_path, {content, std::size_t(length)});
  if (!written) lock_path[0] = '\0';
  return written;
}

bool AppFiles::write_port_file(std::uint16_t port) {
  // Plain decimal digits and nothing else, the form every host reads.
  char content[8];
  int length = std::snprintf(content, sizeof content, "%u", unsigned{port});
  bool written = set_path(port_path, temp_dir_, "tavorin_port.txt") &&
                 write_whole_file(port_path, {content, std::size_t(length)});
  if (!written) port_path[0] = '\0';
  return written;
}

Recorder::Recorder(const std::string& path) : enabled_(!path.empty()) {
  if (enabled_) {
    fd_ = ::open(path.c_str(),
                 O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
  }
}

Recorder::~Recorder() {
  if (fd_ >= 0) ::close(fd_);
}

void Recorder::record(std::string_view bytes) {
  if (fd_ < 0) return;
  std::lock_guard<std::mutex> one_line_at_a_time(mutex_);
  write_all(fd_, bytes);
}

}  // namespace tavorin::example
