#pragma once

#include <chrono>
#include <cstdint>

#include "platform/io_error.h"
#include "platform/socket.h"

namespace tavorin {

inline constexpr std::int32_t max_attempts = 5;
inline constexpr std::chrono::seconds RETRY_DELAY{1};

inline constexpr IoError ALL_ATTEMPTS_FAILED_ERROR = IoError::custom(
    ErrorKind::ConnectionRefused, "Failed to connect to app after all retries");

// Up to max_attempts whole connection attempts, RETRY_DELAY apart, so an app
// that is still starting up is reached.
Result<Socket> connect_with_retries(Platform& os);

}  // namespace tavorin
