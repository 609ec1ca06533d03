#include <windows.h>
#include <winsock2.h>

#include <string>

#include "listener.h"

namespace tavorin::example {

namespace {

struct Work {
  void (*run)(void*);
  void* argument;
};

DWORD WINAPI run_work(void* context) {
  Work work = *static_cast<Work*>(context);
  delete static_cast<Work*>(context);
  work.run(work.argument);
  return 0;
}

SOCKET socket_of(Socket socket) { return static_cast<SOCKET>(socket); }

// One send of at most this much: a send of several megabytes at once can
// fail for want of buffer space where a smaller one waits.
constexpr std::size_t SEND_PART = 1 << 20;

}  // namespace

bool start_networking() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

std::optional<Socket> listen_on_loopback(std::uint16_t port,
                                         std::uint16_t& bound_port) {
  // Not inherited: a program the app starts must not keep its port open.
  SOCKET listener = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                               WSA_FLAG_NO_HANDLE_INHERIT);
  if (listener == INVALID_SOCKET) return std::nullopt;
  // On Windows a port stays usable at once without SO_REUSEADDR, which
  // there would let another program take the port over.
  BOOL exclusive = TRUE;
  setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
             reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) !=
          0 ||
      listen(listener, SOMAXCONN) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) !=
          0) {
    closesocket(listener);
    return std::nullopt;
  }
  bound_port = ntohs(address.sin_port);
  return static_cast<Socket>(listener);
}

std::optional<Socket> accept_connection(Socket listener) {
  SOCKET connection = accept(socket_of(listener), nullptr, nullptr);
  if (connection == INVALID_SOCKET) return std::nullopt;
  return static_cast<Socket>(connection);
}

long receive_some(Socket connection, char* buffer, std::size_t size) {
  int part =
      size > SEND_PART ? static_cast<int>(SEND_PART) : static_cast<int>(size);
  return recv(socket_of(connection), buffer, part, 0);
}

bool send_all(Socket connection, std::string_view bytes) {
  while (!bytes.empty()) {
    int part = bytes.size() > SEND_PART ? static_cast<int>(SEND_PART)
                                        : static_cast<int>(bytes.size());
    int sent = send(socket_of(connection), bytes.data(), part, 0);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

void end_sending(Socket connection) {
  shutdown(socket_of(connection), SD_SEND);
}

void close_connection(Socket connection) { closesocket(socket_of(connection)); }

bool run_in_background(void (*work)(void*), void* argument) {
  auto* context = new Work{work, argument};
  HANDLE thread = CreateThread(nullptr, 0, run_work, context, 0, nullptr);
  if (thread == nullptr) {
    delete context;
    return false;
  }
  CloseHandle(thread);
  return true;
}

void sleep_ms(int ms) { Sleep(static_cast<DWORD>(ms)); }

std::string last_error_text() {
  // The sockets' errors are the thread's last error too.
  return "error " + std::to_string(GetLastError());
}

}  // namespace tavorin::example
