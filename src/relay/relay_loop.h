#pragma once

#include "platform/io_error.h"
#include "platform/socket.h"

namespace tavorin {

// Relays Chrome's frames to the app as lines and the app's answer lines back
// as frames, one message at a time, until either side ends. Fails only when
// the connection cannot be prepared; however the loop ends, it succeeded.
Status run_proxy(Platform& os, Socket connection);

}  // namespace tavorin
