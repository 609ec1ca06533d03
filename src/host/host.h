#pragma once

#include "platform/io_error.h"

namespace tavorin {

class Platform;

// The whole life of the host: launch marker, start-up lines, instance
// detection, the session and its closing lines. Returns the exit status.
int run_host(Platform& os);

// Connects to the desktop app and relays until one side ends.
Status run_session(Platform& os);

}  // namespace tavorin
