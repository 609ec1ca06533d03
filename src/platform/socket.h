#pragma once

#include <utility>

#include "platform/platform.h"

namespace tavorin {

// A connected socket that closes itself: whoever holds it owns the
// connection, and handing it on is a move.
class Socket {
 public:
  Socket(Platform& os, SocketHandle handle) : os_(&os), handle_(handle) {}
  Socket(Socket&& other) noexcept
      : os_(std::exchange(other.os_, nullptr)), handle_(other.handle_) {}
  Socket& operator=(Socket&& other) noexcept {
    if (this != &other) {
      close();
      os_ = std::exchange(other.os_, nullptr);
      handle_ = other.handle_;
    }
    return *this;
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() { close(); }

  SocketHandle handle() const { return handle_; }

  void close() {
    if (os_ != nullptr) std::exchange(os_, nullptr)->close_socket(handle_);
  }

 private:
  Platform* os_;
  SocketHandle handle_;
};

}  // namespace tavorin
