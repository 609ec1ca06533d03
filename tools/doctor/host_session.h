#pragma once

#include <chrono>
#include <cstddef>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "host_process.h"
#include "manifest_check.h"

namespace tavorin::doctor {

// The host started as this system's browser starts it, for the extension's
// origin, and kept running for a conversation: the caller writes frames
// and reads the answers; the host's log is collected all along, so that it
// never stalls on a full pipe. One file per system (host_session_posix.cpp,
// host_session_windows.cpp).
// How the host is started, as the report shows it.
std::string launch_command(const HostToStart& host);

class HostSession {
 public:
  static std::expected<std::unique_ptr<HostSession>, std::string> start(
      const HostToStart& host);
  virtual ~HostSession() = default;

  // False when the host no longer reads.
  virtual bool write(std::string_view bytes) = 0;
  // `size` bytes of the host's output; fewer when it ends its output or
  // the time is up first.
  virtual std::string read(std::size_t size,
                           std::chrono::milliseconds limit) = 0;
  // Closes the host's input (the end of the session for the host), waits
  // for it to end, stopping it at the limit, and says how it went.
  virtual HostRun finish(std::chrono::milliseconds limit) = 0;
};

}  // namespace tavorin::doctor
