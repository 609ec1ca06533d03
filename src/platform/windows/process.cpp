#include "platform/start.h"
#include "platform/windows/active_platform.h"
#include "platform/windows/windows_platform.h"

namespace tavorin {

void WindowsPlatform::terminate_process(int status) {
  ExitProcess(static_cast<UINT>(status));
}

// There is no C runtime and no static constructor, so the platform lives
// on the entry point's stack. The host always ends through ExitProcess:
// returning from the entry point would leave the exit status to chance.
void run_on_this_system(Program program) {
  WindowsPlatform os;
  set_active_platform(&os);
  os.exit_process(program(os));
}

}  // namespace tavorin
