#include "app_link/loopback_connection.h"

namespace tavorin {

Result<Socket> open_loopback_connection(Platform& os, std::uint16_t port) {
  Result<SocketHandle> handle = os.open_tcp_socket();
  if (!handle) return std::unexpected(handle.error());
  Socket socket(os, *handle);
  // Best effort: without it a refused connect is only slower.
  (void)os.skip_connect_retries(socket.handle());
  if (Status connected = os.connect_loopback(socket.handle(), port);
      !connected) {
    return std::unexpected(connected.error());
  }
  if (Status owner = os.check_listener_owner(socket.handle()); !owner) {
    return std::unexpected(owner.error());
  }
  return socket;
}

}  // namespace tavorin
