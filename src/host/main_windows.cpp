#include "host/host.h"
#include "platform/start.h"

// Where Windows starts the program (the linker's entry point). There is no
// C runtime to set anything up first and no static constructor to run.
extern "C" [[noreturn]] void tavorin_start() {
  tavorin::run_on_this_system(tavorin::run_host);
}
