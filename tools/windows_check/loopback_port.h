#pragma once

#include <winsock2.h>

#include <cstdint>

namespace tavorin::windows_check {

// A port of 127.0.0.1 that the system picks, bound by this program for as
// long as this lives: listening, or refusing (bound, never listening, so
// that no other program takes it meanwhile). Port 0 when it failed.
class LoopbackPort {
 public:
  enum class Kind { Listening, Refusing };
  explicit LoopbackPort(Kind kind);
  LoopbackPort(const LoopbackPort&) = delete;
  LoopbackPort& operator=(const LoopbackPort&) = delete;
  ~LoopbackPort();

  std::uint16_t port() const { return port_; }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  std::uint16_t port_ = 0;
};

}  // namespace tavorin::windows_check
