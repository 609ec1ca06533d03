#include "host/host.h"

#include "app_link/connection_attempts.h"
#include "app_link/instance_detection.h"
#include "host/launch_marker.h"
#include "log/log.h"
#include "relay/relay_loop.h"

namespace tavorin {

namespace {

void log_not_detected(Platform& os) {
  write_log_line(os, "Main app not detected (no lock file found)");
  write_log_line(os, "This usually means:");
  write_log_line(os, "  1. Tavorin app is not running");
  write_log_line(os, "  2. App crashed and didn't clean up lock file");
  write_log_line(os, "  3. Different user/session is running the app");
  write_log_line(os, "Exiting gracefully");
}

void log_session_failed(Platform& os, const IoError& error) {
  write_log_line(os, "Communication session failed: {}", error);
  write_log_line(os, "This could indicate:");
  write_log_line(os, "  1. App became unresponsive");
  write_log_line(os, "  2. Network connectivity issues");
  write_log_line(os, "  3. App was terminated during communication");
}

}  // namespace

Status run_session(Platform& os) {
  Result<Socket> connection = connect_with_retries(os);
  if (!connection) return std::unexpected(connection.error());
  return run_proxy(os, std::move(*connection));
}

int run_host(Platform& os) {
  write_launch_marker(os);
  write_log_line(os, "Tavorin Native Messaging Host v1.0");
  write_log_line(os, "Starting initialization...");
  write_log_line(os, "Checking if main app is running...");
  if (!check_app_running(os)) {
    log_not_detected(os);
    return 0;
  }
  write_log_line(os, "Main app detected, establishing communication...");
  Status session = run_session(os);
  if (!session) {
    log_session_failed(os, session.error());
    return 1;
  }
  write_log_line(os, "Communication session completed successfully");
  write_log_line(os, "Shutting down gracefully");
  return 0;
}

}  // namespace tavorin
