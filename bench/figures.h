#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plan.h"
#include "relay.h"
#include "text_kinds.h"

namespace bench {

// A figure measured many times: its median, its 99th percentile, and what
// the median was taken of, round by round (every relay is measured once in
// each round, back to back, so rounds pair one relay's figures with
// another's taken under the same load).
struct Distribution {
  double p50 = 0.0;
  double p99 = 0.0;
  std::vector<double> rounds;
};

// The host process's resident memory in the sessions with the largest
// messages, in KiB.
struct Memory {
  long idle = 0;  // VmRSS after the first answer
  long peak = 0;  // VmHWM at the end of input
};

// Round trips by kind of text, then by size.
using RoundTrips =
    std::array<std::array<std::optional<Distribution>, SIZE_COUNT>, KIND_COUNT>;

struct Figures {
  RoundTrips round_trip_us;
  std::optional<double> small_rate;  // messages per second
  std::optional<double> large_rate;
  std::optional<Distribution> first_answer_us;
  std::optional<Distribution> not_running_us;
  std::optional<Memory> memory;
};

// What a relay stands for in the comparison.
enum class Role : std::uint8_t { Host, Floor, Script, HostUnderWine };

// A relay under test and what was measured of it. A partial subject is
// measured at the smallest size of ASCII only, and at start-up.
struct Subject {
  Relay relay;
  std::string column;  // a short name for the columns of the ratio tables
  Role role = Role::Host;
  bool partial = false;
  Figures figures;
};

}  // namespace bench
