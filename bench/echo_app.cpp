#include "echo_app.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "answer_lines.h"
#include "fail.h"

namespace bench {

namespace {

int listen_on_loopback() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) fail_system("app socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
      0) {
    fail_system("app bind");
  }
  if (::listen(fd, 16) != 0) fail_system("app listen");
  return fd;
}

std::uint16_t port_of(int listener) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) !=
      0) {
    fail_system("app getsockname");
  }
  return ntohs(address.sin_port);
}

void write_text_file(const std::string& path, const std::string& text) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) fail_system("create app file");
  if (::write(fd, text.data(), text.size()) !=
      static_cast<ssize_t>(text.size())) {
    fail_system("write app file");
  }
  ::close(fd);
}

}  // namespace

EchoApp::EchoApp(const std::string& directory)
    : listener_(listen_on_loopback()) {
  write_text_file(directory + "/tavorin_port.txt",
                  std::to_string(port_of(listener_)));
  write_text_file(directory + "/tavorin_app_instance.lock", "");
  thread_ = std::thread([this] { serve(); });
}

EchoApp::~EchoApp() {
  // Wakes the accept call, which then fails and ends the thread.
  ::shutdown(listener_, SHUT_RDWR);
  thread_.join();
  ::close(listener_);
}

void EchoApp::serve() {
  for (;;) {
    int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0 && errno == EINTR) continue;
    if (connection < 0) return;
    int on = 1;
    ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    answer_lines(connection);
    ::close(connection);
  }
}

std::string echo_answer(const std::string& message) {
  std::string answer(ECHO_OPENING);
  answer += message;
  answer += ECHO_CLOSING;
  return answer;
}

}  // namespace bench
