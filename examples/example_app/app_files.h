#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "options.h"

namespace tavorin::example {

// The files through which the host finds the app: the lock file that says
// the app runs, and the port file that says where it listens. Both live in
// the temporary directory and are removed when the app stops, on a normal
// end as well as when it is told to stop (SIGINT or SIGTERM; on Windows
// Ctrl+C, Ctrl+Break or its console closing).
class AppFiles {
 public:
  AppFiles(const std::string& temp_dir, LockMode mode);
  AppFiles(const AppFiles&) = delete;
  AppFiles& operator=(const AppFiles&) = delete;
  ~AppFiles();

  bool create_lock_file();
  // Written under another name, then renamed over the port file, so that a
  // host reading it meanwhile sees the old port or the new, never half.
  bool write_port_file(std::uint16_t port);

 private:
  std::string temp_dir_;
  LockMode mode_;
};

// Appends every received line, raw, to a file, so that a test can see byte
// for byte what reached the app. Each line is written through at once and
// whole, whichever conversation it comes from (the C library locks the
// stream for each write).
class Recorder {
 public:
  explicit Recorder(const std::string& path);
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;
  ~Recorder();

  bool ok() const { return file_ != nullptr || !enabled_; }
  void record(std::string_view bytes);

 private:
  bool enabled_;
  std::FILE* file_ = nullptr;
};

// What each system does for the app's files, in app_files_posix.cpp and
// app_files_windows.cpp. Paths are UTF-8.

// Creates or empties the file and writes the content: readable by the app's
// user only, and never through a link someone else planted under the name.
bool write_file(const char* path, std::string_view content);
// Renames the file over another, which it replaces in one step.
bool replace_file(const char* from, const char* to);
// Removes the file; usable while the app is being stopped (in a signal
// handler on Linux).
void remove_file(const char* path);
// Runs clean_up, then ends the app, when the app is told to stop.
void on_stop(void (*clean_up)());
unsigned long process_id();

}  // namespace tavorin::example
