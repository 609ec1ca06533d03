#pragma once

namespace tavorin {

class Platform;

// Leaves "Launched at <seconds since 1970>" in shim_launched.txt in the
// temporary directory. Best effort: every failure is silent.
void write_launch_marker(Platform& os);

}  // namespace tavorin
