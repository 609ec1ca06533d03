#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tavorin::example {

enum class LockMode { Dev, Prod };

// How the app answers the lines it receives. Everything but Echo is a way
// of misbehaving that the host has to cope with.
struct AppOptions {
  LockMode mode = LockMode::Prod;
  std::string temp_dir;  // empty: where the host looks (default_temp_dir)
  std::uint16_t port = 0;
  bool write_port_file = true;
  std::string record_path;  // empty: no record
  bool silent = false;
  int close_after = -1;  // answers before the connection is closed; -1: never
  bool two_lines = false;
  std::size_t long_answer = 0;  // 0: the normal echo
  bool invalid_utf8 = false;
  bool crlf_only = false;
  int slow_ms = 0;
  bool padded = false;
  // Answers with the count of bytes received instead of an echo, so that an
  // answer stays small when the message is large (a browser refuses answers
  // over 1 MiB from a host).
  bool ack = false;
};

// The directory the host reads the app's files from when none is given:
// the host's own rule on each system (app_files_posix.cpp,
// app_files_windows.cpp).
std::string default_temp_dir();

// Reads the command line; on a mistake prints the reason and the usage to
// standard error and returns nothing.
std::optional<AppOptions> parse_options(int argc, char** argv);

}  // namespace tavorin::example
