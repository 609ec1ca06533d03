#include <cstdint>
#include <limits>

#include "platform/windows/owned_handle.h"
#include "platform/windows/windows_platform.h"

namespace tavorin {

namespace {

// FILETIME counts 100-nanosecond intervals from 1601-01-01; this is the
// count at 1970-01-01 00:00:00 UTC.
constexpr std::uint64_t UNIX_EPOCH_TICKS = 116444736000000000ULL;
constexpr std::uint64_t TICKS_PER_SECOND = 10000000ULL;

// Not in every SDK's headers yet; Windows 10 1803 and later know it.
constexpr DWORD CREATE_WAITABLE_TIMER_HIGH_RESOLUTION_FLAG = 0x00000002;

// Rounded up, so that the thread never wakes early.
std::int64_t whole_ticks(std::chrono::nanoseconds duration) {
  std::int64_t nanoseconds = duration.count();
  return nanoseconds / 100 + (nanoseconds % 100 != 0 ? 1 : 0);
}

HANDLE create_timer() {
  HANDLE timer = CreateWaitableTimerExW(
      nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION_FLAG,
      TIMER_ALL_ACCESS);
  // Older systems refuse the flag; an ordinary timer still beats Sleep's
  // whole milliseconds.
  if (timer == nullptr) {
    timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
  }
  return timer;
}

bool wait_on_timer(std::int64_t ticks) {
  OwnedHandle timer(create_timer());
  if (!timer.is_open()) return false;
  LARGE_INTEGER due{};
  due.QuadPart = -ticks;  // negative: relative to now
  if (!SetWaitableTimer(timer.get(), &due, 0, nullptr, nullptr, FALSE)) {
    return false;
  }
  return WaitForSingleObject(timer.get(), INFINITE) == WAIT_OBJECT_0;
}

void sleep_in_milliseconds(std::int64_t ticks) {
  constexpr std::int64_t TICKS_PER_MILLISECOND = 10000;
  // INFINITE is a value Sleep must never get by accident.
  constexpr std::int64_t LONGEST = INFINITE - 1;
  std::int64_t milliseconds = ticks / TICKS_PER_MILLISECOND +
                              (ticks % TICKS_PER_MILLISECOND != 0 ? 1 : 0);
  while (milliseconds > 0) {
    std::int64_t now = milliseconds < LONGEST ? milliseconds : LONGEST;
    Sleep(static_cast<DWORD>(now));
    milliseconds -= now;
  }
}

}  // namespace

std::optional<std::uint64_t> WindowsPlatform::unix_time_seconds() {
  FILETIME now{};
  GetSystemTimePreciseAsFileTime(&now);
  std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) |
                        now.dwLowDateTime;
  if (ticks < UNIX_EPOCH_TICKS) return std::nullopt;
  return (ticks - UNIX_EPOCH_TICKS) / TICKS_PER_SECOND;
}

void WindowsPlatform::sleep_for(std::chrono::nanoseconds duration) {
  if (duration.count() <= 0) return;
  std::int64_t ticks = whole_ticks(duration);
  if (wait_on_timer(ticks)) return;
  sleep_in_milliseconds(ticks);
}

}  // namespace tavorin
