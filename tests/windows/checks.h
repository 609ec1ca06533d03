#pragma once

// The few lines of a test framework that the Windows backend's checks need:
// they run under Wine as a plain program, each failure printed with its line.
#include <cstdio>

namespace tavorin::windows_checks {

inline int failures = 0;
// Where failures are told: standard error unless a check's child process
// says otherwise.
inline std::FILE* report_file = nullptr;

inline void check(bool ok, const char* what, const char* file, int line) {
  if (ok) return;
  ++failures;
  std::fprintf(report_file != nullptr ? report_file : stderr,
               "%s:%d: failed: %s\n", file, line, what);
}

}  // namespace tavorin::windows_checks

#define CHECK(condition)                                                   \
  ::tavorin::windows_checks::check((condition), #condition, __FILE_NAME__, \
                                   __LINE__)
