#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include "platform/posix/posix_platform.h"
#include "platform/start.h"

namespace tavorin {

namespace {

// A standard stream the browser did not give us must stay missing: left
// closed, its number would go to the first socket the host opens, and log
// lines or frames would reach the desktop app instead. /dev/null reads as
// end of input and takes every write, as a missing stream does.
void hold_missing_standard_streams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) continue;
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0 && null != fd) {
      ::dup2(null, fd);
      ::close(null);
    }
  }
}

}  // namespace

void PosixPlatform::terminate_process(int status) { ::_exit(status); }

void run_on_this_system(Program program) {
  hold_missing_standard_streams();
  // A reader that has gone shows up as a failed write (EPIPE), as on
  // Windows, rather than killing the host in the middle of a line.
  std::signal(SIGPIPE, SIG_IGN);
  PosixPlatform os;
  os.exit_process(program(os));
}

}  // namespace tavorin
