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

Result<SocketHandle> PosixPlatform::tcp_connect(std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return std::unexpected(last_error());
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  while (::connect(fd, reinterpret_cast<const sockaddr*>(&address),
                   sizeof address) != 0) {
    if (errno == EINTR) continue;
    IoError error = last_error();
    ::close(fd);
    return std::unexpected(error);
  }
  return static_cast<SocketHandle>(fd);
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
