#include <array>
#include <bit>
#include <charconv>
#include <limits>
#include <string>

#include "platform/fatal_error.h"
#include "platform/windows/error_codes.h"
#include "platform/windows/windows_platform.h"
#include "text/decimal.h"

namespace tavorin {

namespace {

// The host's sockets are never handed to a child process, and overlapped
// sockets are what Windows Sockets providers expect by default.
constexpr DWORD SOCKET_FLAGS = WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT;

constexpr int WSAESHUTDOWN_CODE = 10058;

SOCKET to_socket(SocketHandle handle) { return static_cast<SOCKET>(handle); }

int clamp_to_int(std::size_t size) {
  constexpr std::size_t LARGEST = std::numeric_limits<int>::max();
  return static_cast<int>(size < LARGEST ? size : LARGEST);
}

// 127.0.0.1 on the port, built directly: the address is a literal and
// needs no name lookup.
sockaddr_in loopback_address(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = std::bit_cast<std::uint16_t>(
      std::array<std::uint8_t, 2>{static_cast<std::uint8_t>(port >> 8),
                                  static_cast<std::uint8_t>(port & 0xFF)});
  address.sin_addr.s_addr =
      std::bit_cast<std::uint32_t>(std::array<std::uint8_t, 4>{127, 0, 0, 1});
  return address;
}

Status set_option(SocketHandle socket, int level, int name, DWORD value) {
  if (setsockopt(to_socket(socket), level, name,
                 reinterpret_cast<const char*>(&value), sizeof value) != 0) {
    return std::unexpected(last_socket_error());
  }
  return {};
}

}  // namespace

void WindowsPlatform::start_sockets_once() {
  if (sockets_started_) return;
  WSADATA data{};
  int result = WSAStartup(0x0202, &data);
  if (result != 0) {
    fatal_error(*this, "WSAStartup failed with code " + decimal_string(result));
  }
  // Windows Sockets stays up until the process ends: the host never calls
  // WSACleanup, so no socket outlives its library.
  sockets_started_ = true;
}

Result<SocketHandle> WindowsPlatform::open_tcp_socket() {
  start_sockets_once();
  SOCKET socket =
      WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, SOCKET_FLAGS);
  if (socket == INVALID_SOCKET) return std::unexpected(last_socket_error());
  return static_cast<SocketHandle>(socket);
}

// Windows answers a refused SYN by sending it again, for about two seconds
// (Microsoft KB 175523), even on loopback. No retransmission makes the
// refusal immediate; the system's estimate of the round trip stays.
Status WindowsPlatform::skip_connect_retries(SocketHandle socket) {
  TCP_INITIAL_RTO_PARAMETERS parameters{};
  parameters.Rtt = TCP_INITIAL_RTO_UNSPECIFIED_RTT;
  parameters.MaxSynRetransmissions = TCP_INITIAL_RTO_NO_SYN_RETRANSMISSIONS;
  DWORD returned = 0;
  if (WSAIoctl(to_socket(socket), SIO_TCP_INITIAL_RTO, &parameters,
               sizeof parameters, nullptr, 0, &returned, nullptr,
               nullptr) != 0) {
    return std::unexpected(last_socket_error());
  }
  return {};
}

Status WindowsPlatform::connect_loopback(SocketHandle socket,
                                         std::uint16_t port) {
  sockaddr_in address = loopback_address(port);
  if (connect(to_socket(socket), reinterpret_cast<const sockaddr*>(&address),
              sizeof address) != 0) {
    return std::unexpected(last_socket_error());
  }
  return {};
}

Status WindowsPlatform::set_receive_timeout(SocketHandle socket,
                                            std::chrono::milliseconds timeout) {
  constexpr std::int64_t LARGEST = std::numeric_limits<DWORD>::max();
  std::int64_t milliseconds = timeout.count();
  // 0 would mean "no limit": the shortest limit there is must stay a limit.
  if (milliseconds < 1) milliseconds = 1;
  if (milliseconds > LARGEST) milliseconds = LARGEST;
  return set_option(socket, SOL_SOCKET, SO_RCVTIMEO,
                    static_cast<DWORD>(milliseconds));
}

Status WindowsPlatform::set_no_delay(SocketHandle socket) {
  return set_option(socket, IPPROTO_TCP, TCP_NODELAY, 1);
}

Result<SocketHandle> WindowsPlatform::duplicate_socket(SocketHandle socket) {
  WSAPROTOCOL_INFOW information{};
  if (WSADuplicateSocketW(to_socket(socket), GetCurrentProcessId(),
                          &information) != 0) {
    return std::unexpected(last_socket_error());
  }
  SOCKET duplicate =
      WSASocketW(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO,
                 &information, 0, SOCKET_FLAGS);
  if (duplicate == INVALID_SOCKET) return std::unexpected(last_socket_error());
  return static_cast<SocketHandle>(duplicate);
}

Result<std::size_t> WindowsPlatform::send(SocketHandle socket,
                                          std::string_view bytes) {
  int sent =
      ::send(to_socket(socket), bytes.data(), clamp_to_int(bytes.size()), 0);
  if (sent == SOCKET_ERROR) return std::unexpected(last_socket_error());
  return static_cast<std::size_t>(sent);
}

Result<std::size_t> WindowsPlatform::receive(SocketHandle socket,
                                             std::span<char> buffer) {
  int got =
      ::recv(to_socket(socket), buffer.data(), clamp_to_int(buffer.size()), 0);
  if (got != SOCKET_ERROR) return static_cast<std::size_t>(got);
  IoError error = last_socket_error();
  // A connection shut down for receiving has simply ended.
  if (error.is_system_code(WSAESHUTDOWN_CODE)) return 0;
  return std::unexpected(error);
}

void WindowsPlatform::close_socket(SocketHandle socket) {
  closesocket(to_socket(socket));
}

}  // namespace tavorin
