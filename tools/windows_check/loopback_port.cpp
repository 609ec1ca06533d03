#include "loopback_port.h"

namespace tavorin::windows_check {

LoopbackPort::LoopbackPort(Kind kind) {
  socket_ = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                       WSA_FLAG_NO_HANDLE_INHERIT);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) ==
          0 &&
      (kind == Kind::Refusing || listen(socket_, 4) == 0) &&
      getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port_ = ntohs(address.sin_port);
  }
}

LoopbackPort::~LoopbackPort() {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
}

}  // namespace tavorin::windows_check
