#pragma once

#include <cstdint>

#include "platform/io_error.h"
#include "platform/socket.h"

namespace tavorin {

// A connection to 127.0.0.1 on the port. A refusal is reported at once
// rather than after the system's SYN retries, so a stale port file or a
// port nobody listens on costs no more than a refused connect. A socket
// whose connect fails is closed, and so is one whose listener belongs to
// another user: it counts as a port where the app does not listen.
Result<Socket> open_loopback_connection(Platform& os, std::uint16_t port);

}  // namespace tavorin
