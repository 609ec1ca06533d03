#pragma once

namespace tavorin {

class WindowsPlatform;

// The platform the entry point runs the host on, for the few hooks that the
// compiler and the standard library call without one at hand. Null before
// the entry point has made it.
WindowsPlatform* active_platform();
void set_active_platform(WindowsPlatform* platform);

}  // namespace tavorin
