#include "platform/windows/active_platform.h"

namespace tavorin {

namespace {

// Constant-initialized: the program runs no static constructors.
WindowsPlatform* current = nullptr;

}  // namespace

WindowsPlatform* active_platform() { return current; }

void set_active_platform(WindowsPlatform* platform) { current = platform; }

}  // namespace tavorin
