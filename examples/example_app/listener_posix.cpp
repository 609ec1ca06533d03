#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "listener.h"

namespace tavorin::example {

namespace {

struct Work {
  void (*run)(void*);
  void* argument;
};

extern "C" void* run_work(void* context) {
  Work work = *static_cast<Work*>(context);
  delete static_cast<Work*>(context);
  work.run(work.argument);
  return nullptr;
}

int fd_of(Socket socket) { return static_cast<int>(socket); }

}  // namespace

bool start_networking() { return true; }

std::optional<Socket> listen_on_loopback(std::uint16_t port,
                                         std::uint16_t& bound_port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 16) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  bound_port = ntohs(address.sin_port);
  return static_cast<Socket>(fd);
}

std::optional<Socket> accept_connection(Socket listener) {
  for (;;) {
    int connection = ::accept4(fd_of(listener), nullptr, nullptr, SOCK_CLOEXEC);
    if (connection >= 0) return static_cast<Socket>(connection);
    if (errno != EINTR) return std::nullopt;
  }
}

long receive_some(Socket connection, char* buffer, std::size_t size) {
  for (;;) {
    ssize_t got = ::recv(fd_of(connection), buffer, size, 0);
    if (got >= 0 || errno != EINTR) return static_cast<long>(got);
  }
}

bool send_all(Socket connection, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t sent =
        ::send(fd_of(connection), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

void end_sending(Socket connection) { ::shutdown(fd_of(connection), SHUT_WR); }

void close_connection(Socket connection) { ::close(fd_of(connection)); }

bool run_in_background(void (*work)(void*), void* argument) {
  auto* context = new Work{work, argument};
  pthread_t thread;
  if (::pthread_create(&thread, nullptr, run_work, context) != 0) {
    delete context;
    return false;
  }
  ::pthread_detach(thread);
  return true;
}

void sleep_ms(int ms) {
  timespec rest = {ms / 1000, static_cast<long>(ms % 1000) * 1'000'000L};
  while (::nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

std::string last_error_text() { return std::strerror(errno); }

}  // namespace tavorin::example
