#pragma once

#include <chrono>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double microseconds_between(Clock::time_point start,
                                   Clock::time_point end) {
  return std::chrono::duration<double, std::micro>(end - start).count();
}

}  // namespace bench
