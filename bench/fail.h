#pragma once

#include <string>

namespace bench {

// The benchmark cannot go on: says what went wrong and ends the process.
[[noreturn]] void fail(const std::string& what);

// As fail, for a system call that failed: adds the system's reason.
[[noreturn]] void fail_system(const std::string& what);

}  // namespace bench
