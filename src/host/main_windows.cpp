#include "host/host.h"
#include "platform/windows/runtime/active_platform.h"
#include "platform/windows/windows_platform.h"

// Where Windows starts the program (the linker's entry point). There is no
// C runtime to set anything up first and no static constructor to run, so
// the platform lives on this stack. The host always ends through
// ExitProcess: returning from here would leave the exit status to chance.
extern "C" [[noreturn]] void tavorin_start() {
  tavorin::WindowsPlatform os;
  tavorin::set_active_platform(&os);
  os.exit_process(tavorin::run_host(os));
}
