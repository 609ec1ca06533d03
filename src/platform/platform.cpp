#include "platform/platform.h"

namespace tavorin {

void Platform::exit_process(int status) {
  // Whatever the outcome, a frame already handed to the writer gets its
  // chance to leave; a failure here has nobody left to report to.
  (void)stdout_.flush();
  terminate_process(status);
  __builtin_unreachable();
}

}  // namespace tavorin
