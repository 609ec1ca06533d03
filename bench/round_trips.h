#pragma once

#include <string>
#include <vector>

#include "relay.h"

namespace bench {

// What one host process showed: each timed round trip and its memory.
struct Session {
  std::vector<double> round_trips_us;
  long idle_rss_kib = 0;  // VmRSS once the first message has been answered
  // VmHWM just before the end of input. (wait4's ru_maxrss would not do:
  // a process started by posix_spawn counts the benchmark's own memory from
  // before its exec.)
  long peak_kib = 0;
};

// Starts the relay, answers a small first message (the start-up is over
// then), warms up with the message, then times `count` round trips of it
// one after the other, as an extension that awaits each answer does.
Session round_trip_session(const Relay& relay, const std::string& directory,
                           const std::string& message, int count);

}  // namespace bench
