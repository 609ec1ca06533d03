#pragma once

#include <array>
#include <cstdint>

#include "platform/io_error.h"
#include "platform/socket.h"

namespace tavorin {

// Where the desktop app listens when its port file does not say.
inline constexpr std::array<std::uint16_t, 5> FALLBACK_PORTS = {
    7878, 7879, 7880, 7881, 7882};

inline constexpr IoError NO_PORT_ANSWERED_ERROR = IoError::custom(
    ErrorKind::ConnectionRefused, "Could not connect to app on any port");

// One connection attempt: the port file's port, then each fallback port in
// turn, on 127.0.0.1.
Result<Socket> connect_to_app(Platform& os);

}  // namespace tavorin
