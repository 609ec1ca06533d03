#include "app_link/connect_to_app.h"

#include "app_link/loopback_connection.h"
#include "app_link/port_file.h"
#include "log/log.h"

namespace tavorin {

Result<Socket> connect_to_app(Platform& os) {
  if (std::optional<std::uint16_t> port = read_port_file(os)) {
    // A port file left by an app that has gone is common; the fallback
    // ports follow without a word about it.
    if (Result<Socket> socket = open_loopback_connection(os, *port)) {
      write_log_line(os, "Connected to app on port {} (from file)", *port);
      return socket;
    }
  }
  for (std::uint16_t port : FALLBACK_PORTS) {
    if (Result<Socket> socket = open_loopback_connection(os, port)) {
      write_log_line(os, "Connected to app on port {}", port);
      return socket;
    }
    write_log_line(os, "Port {} not available", port);
  }
  return std::unexpected(NO_PORT_ANSWERED_ERROR);
}

}  // namespace tavorin
