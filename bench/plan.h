#pragma once

#include <array>
#include <cstddef>

namespace bench {

struct MessageSize {
  std::size_t bytes;
  const char* label;
  int messages;  // timed round trips in each session
};

inline constexpr std::size_t SIZE_COUNT = 4;
inline constexpr std::size_t LARGEST = SIZE_COUNT - 1;

// How much to measure: enough repeats for steady medians while the whole run
// stays within a few minutes on a two-core machine.
struct Plan {
  std::array<MessageSize, SIZE_COUNT> sizes = {{{64, "64 B", 2000},
                                                {4096, "4 KiB", 2000},
                                                {65536, "64 KiB", 600},
                                                {1048576, "1 MiB", 80}}};
  // Many short sessions rather than a few long ones, so that a burst of load
  // elsewhere on the machine falls on every relay alike.
  int sessions = 15;
  int rate_repeats = 5;
  int small_stream = 20000;  // messages of the smallest size per rate run
  int large_stream = 100;    // messages of the largest size per rate run
  int start_ups = 150;
  int wine_sessions = 3;
  int wine_messages = 1000;
  int wine_start_ups = 30;  // each start under Wine takes a tenth of a second
};

// A plan a fifth the size, for trying the benchmark out.
Plan quick_plan();

}  // namespace bench
