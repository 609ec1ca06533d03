#pragma once

#include <sys/types.h>

namespace bench {

// A "kB" field of /proc/PID/status (VmRSS, VmHWM, ...); 0 when absent.
long status_kib(pid_t pid, const char* field);

}  // namespace bench
