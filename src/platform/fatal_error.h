#pragma once

#include <source_location>
#include <string_view>

namespace tavorin {

class Platform;

// Reports a failure the host does not expect on standard error (ignoring
// every failure while doing so), flushes standard output and ends the
// process with status 101.
[[noreturn]] void fatal_error(
    Platform& os, std::string_view message,
    std::source_location where = std::source_location::current());

inline constexpr int FATAL_EXIT_STATUS = 101;

}  // namespace tavorin
