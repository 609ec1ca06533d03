#include "placement.h"

#include <sched.h>

#include "fail.h"

namespace bench {

int keep_to_one_cpu() {
  cpu_set_t given;
  CPU_ZERO(&given);
  if (::sched_getaffinity(0, sizeof given, &given) != 0) {
    fail_system("sched_getaffinity");
  }
  int last = 0;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &given)) last = cpu;
  }
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(last, &one);
  if (::sched_setaffinity(0, sizeof one, &one) != 0) {
    fail_system("sched_setaffinity");
  }
  return last;
}

}  // namespace bench
