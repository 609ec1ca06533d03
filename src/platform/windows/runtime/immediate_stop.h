#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>

namespace tavorin {

// Ends the process at once through the system's fail-fast service, after
// writing the pieces of a line (and a line feed) to standard error, ignoring
// failures. Nothing is released and no exit clean-up runs. Allocates
// nothing.
[[noreturn]] void stop_immediately(
    std::initializer_list<std::string_view> line);

// The stop for a request for memory that cannot be met: the line says how
// many bytes were asked for.
[[noreturn]] void stop_without_memory(std::size_t size);

}  // namespace tavorin
