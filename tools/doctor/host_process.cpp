#include "host_process.h"

#include "host_session.h"

namespace tavorin::doctor {

// A session in which the extension sends nothing: the host reads the end
// of its input first.
HostRun run_host_as_browser(const HostToStart& host,
                            std::chrono::milliseconds limit) {
  auto session = HostSession::start(host);
  if (!session) {
    return HostRun{.command = launch_command(host),
                   .start_error = session.error()};
  }
  return (*session)->finish(limit);
}

}  // namespace tavorin::doctor
