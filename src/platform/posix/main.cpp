#include <csignal>

#include "platform/posix/posix_platform.h"
#include "shim/host.h"

int main() {
  // A reader that has gone shows up as a failed write (EPIPE), as on
  // Windows, rather than killing the host in the middle of a line.
  std::signal(SIGPIPE, SIG_IGN);
  tavorin::PosixPlatform os;
  os.exit_process(tavorin::run_host(os));
}
