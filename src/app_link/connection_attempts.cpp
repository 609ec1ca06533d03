#include "app_link/connection_attempts.h"

#include "app_link/connect_to_app.h"
#include "log/log.h"

namespace tavorin {

Result<Socket> connect_with_retries(Platform& os) {
  write_log_line(os, "Starting connection attempts...");
  for (std::int32_t attempt = 1; attempt <= max_attempts; ++attempt) {
    write_log_line(os, "Connection attempt {} of {}", attempt, max_attempts);
    Result<Socket> connected = connect_to_app(os);
    if (connected) {
      write_log_line(os, "Successfully connected on attempt {}", attempt);
      return connected;
    }
    write_log_line(os, "Connection attempt {} failed: {}", attempt,
                   connected.error());
    if (attempt < max_attempts) {
      write_log_line(os, "Waiting 1 second before retry...");
      os.sleep_for(RETRY_DELAY);
    }
  }
  write_log_line(os, "All connection attempts failed");
  return std::unexpected(ALL_ATTEMPTS_FAILED_ERROR);
}

}  // namespace tavorin
