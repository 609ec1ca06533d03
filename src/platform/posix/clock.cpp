#include <time.h>

#include <cerrno>

#include "platform/posix/posix_platform.h"

namespace tavorin {

std::optional<std::uint64_t> PosixPlatform::unix_time_seconds() {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  if (now.tv_sec < 0) return std::nullopt;
  return static_cast<std::uint64_t>(now.tv_sec);
}

void PosixPlatform::sleep_for(std::chrono::nanoseconds duration) {
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
  struct timespec rest {
    static_cast<time_t>(seconds.count()),
        static_cast<long>((duration - seconds).count())
  };
  while (::nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

}  // namespace tavorin
