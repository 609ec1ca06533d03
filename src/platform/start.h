#pragma once

namespace tavorin {

class Platform;

// A whole program on the platform: what it returns is the exit status.
using Program = int (*)(Platform& os);

// Makes this system's platform, runs the program on it and ends the process
// with the status the program returns, standard output flushed first. Each
// backend has its own, so the entry points never see a system header.
[[noreturn]] void run_on_this_system(Program program);

}  // namespace tavorin
