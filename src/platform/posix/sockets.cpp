#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/posix/error_codes.h"
#include "platform/posix/posix_platform.h"

namespace tavorin {

namespace {

int to_fd(SocketHandle socket) { return static_cast<int>(socket); }

}  // namespace

Result<SocketHandle> PosixPlatform::open_tcp_socket() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return std::unexpected(last_error());
  return static_cast<SocketHandle>(fd);
}

// A refused loopback connect fails at once here: the kernel answers the SYN
// with a reset and nobody sends it again.
Status PosixPlatform::skip_connect_retries(SocketHandle) { return {}; }

Status PosixPlatform::connect_loopback(SocketHandle socket,
                                       std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(to_fd(socket), reinterpret_cast<const sockaddr*>(&address),
                sizeof address) == 0) {
    return {};
  }
  // Interrupted, the connect goes on in the background; waiting for it to
  // be writable would need a poll, so the attempt counts as failed.
  return std::unexpected(last_error());
}

Status PosixPlatform::set_receive_timeout(SocketHandle socket,
                                          std::chrono::milliseconds timeout) {
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
  timeval value{static_cast<time_t>(seconds.count()),
                static_cast<suseconds_t>(
                    std::chrono::microseconds(timeout - seconds).count())};
  if (::setsockopt(to_fd(socket), SOL_SOCKET, SO_RCVTIMEO, &value,
                   sizeof value) != 0) {
    return std::unexpected(last_error());
  }
  return {};
}

Status PosixPlatform::set_no_delay(SocketHandle socket) {
  int on = 1;
  if (::setsockopt(to_fd(socket), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) !=
      0) {
    return std::unexpected(last_error());
  }
  return {};
}

Result<SocketHandle> PosixPlatform::duplicate_socket(SocketHandle socket) {
  int fd = ::fcntl(to_fd(socket), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return std::unexpected(last_error());
  return static_cast<SocketHandle>(fd);
}

Result<std::size_t> PosixPlatform::send(SocketHandle socket,
                                        std::string_view bytes) {
  ssize_t sent =
      ::send(to_fd(socket), bytes.data(), bytes.size(), MSG_NOSIGNAL);
  if (sent < 0) return std::unexpected(last_error());
  return static_cast<std::size_t>(sent);
}

Result<std::size_t> PosixPlatform::send_part(SocketHandle socket,
                                             std::string_view bytes) {
  ssize_t sent = ::send(to_fd(socket), bytes.data(), bytes.size(),
                        MSG_NOSIGNAL | MSG_MORE);
  if (sent < 0) return std::unexpected(last_error());
  return static_cast<std::size_t>(sent);
}

Result<std::size_t> PosixPlatform::receive(SocketHandle socket,
                                           std::span<char> buffer) {
  ssize_t got = ::recv(to_fd(socket), buffer.data(), buffer.size(), 0);
  if (got < 0) return std::unexpected(last_error());
  return static_cast<std::size_t>(got);
}

void PosixPlatform::close_socket(SocketHandle socket) {
  ::close(to_fd(socket));
}

}  // namespace tavorin
