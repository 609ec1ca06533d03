#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "options.h"

namespace tavorin::example {

// The files through which the host finds the app: the lock file that says
// the app runs, and the port file that says where it listens. Both live in
// the temporary directory and are removed when the app stops, on a normal
// end as well as on SIGINT or SIGTERM.
class AppFiles {
 public:
  AppFiles(const std::string& temp_dir, LockMode mode);
  AppFiles(const AppFiles&) = delete;
  AppFiles& operator=(const AppFiles&) = delete;
  ~AppFiles();

  bool create_lock_file();
  bool write_port_file(std::uint16_t port);

 private:
  std::string temp_dir_;
  LockMode mode_;
};

// Appends every received line, raw, to a file, so that a test can see byte
// for byte what reached the app. Each line is written through at once and
// whole, whichever conversation it comes from.
class Recorder {
 public:
  explicit Recorder(const std::string& path);
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;
  ~Recorder();

  bool ok() const { return fd_ >= 0 || !enabled_; }
  void record(std::string_view bytes);

 private:
  bool enabled_;
  int fd_ = -1;
  std::mutex mutex_;
};

// Writes all bytes to a file descriptor; false when it fails.
bool write_all(int fd, std::string_view bytes);

}  // namespace tavorin::example
