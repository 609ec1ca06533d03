#pragma once

#include <string>

namespace bench {

// The current time in UTC, as "YYYY-MM-DD HH:MM UTC".
std::string utc_now();

// The system, processor, core count and load, in one line.
std::string machine_summary();

}  // namespace bench
