#include <cstdint>

#include "platform/windows/windows_platform.h"

namespace tavorin {

namespace {

// FILETIME counts 100-nanosecond intervals from 1601-01-01; this is the
// count at 1970-01-01 00:00:00 UTC.
constexpr std::uint64_t UNIX_EPOCH_TICKS = 116444736000000000ULL;
constexpr std::uint64_t TICKS_PER_SECOND = 10000000ULL;

}  // namespace

std::optional<std::uint64_t> WindowsPlatform::unix_time_seconds() {
  FILETIME now{};
  GetSystemTimePreciseAsFileTime(&now);
  std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) |
                        now.dwLowDateTime;
  if (ticks < UNIX_EPOCH_TICKS) return std::nullopt;
  return (ticks - UNIX_EPOCH_TICKS) / TICKS_PER_SECOND;
}

}  // namespace tavorin
