#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "manifest_check.h"

namespace tavorin::doctor {

// How one run of the host, started as the browser starts it, went.
struct HostRun {
  std::string command{};      // how it was started, for the report
  std::string start_error{};  // why it could not be started, if it could not
  bool timed_out = false;     // still running at the limit, and stopped
  std::string ending{};       // "exit status 1", "killed by signal 11", ...
  std::string log{};          // everything it wrote to standard error
  std::size_t output_bytes = 0;
};

// Starts the host as this system's browser does, for the extension's origin,
// closes its standard input at once (the extension never sends a message)
// and collects its log until it ends; at the limit it is stopped.
HostRun run_host_as_browser(const HostToStart& host,
                            std::chrono::milliseconds limit);

}  // namespace tavorin::doctor
