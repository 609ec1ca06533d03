// tavorin_example_app: the desktop app's side of the host's contract, small
// enough to read in one sitting. It announces itself through a lock file and
// a port file in the temporary directory, listens on 127.0.0.1 and answers
// every line it receives with one line. Options make it misbehave in the
// ways a real app can, so that the host can be tried against them.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#include "answers.h"
#include "app_files.h"
#include "options.h"

namespace tavorin::example {
namespace {

int listen_on_loopback(std::uint16_t port, std::uint16_t& bound_port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  // A fixed port must be usable again at once after the previous app left.
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
    return -1;
  }
  bound_port = ntohs(address.sin_port);
  return fd;
}

void sleep_ms(int ms) {
  timespec rest = {ms / 1000, static_cast<long>(ms % 1000) * 1'000'000L};
  while (::nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

bool send_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// Ends the app's side of the connection the orderly way: the host sees the
// end of the stream at its next read, whatever it sends meanwhile. What the
// host still sends is read and dropped until it closes its side.
void end_conversation(int fd) {
  ::shutdown(fd, SHUT_WR);
  char buffer[4096];
  for (;;) {
    ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
  }
}

// Serves one connection until the host closes it, a send fails, or the
// answer limit of --close-after is reached.
void serve(int fd, const AppOptions& options, Recorder& recorder) {
  std::string pending;
  int answers = 0;
  char buffer[65536];
  for (;;) {
    if (answers == options.close_after) return end_conversation(fd);
    ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(got));
    std::size_t start = 0;
    for (std::size_t end;
         answers != options.close_after &&
         (end = pending.find('\n', start)) != std::string::npos;
         start = end + 1) {
      std::string_view line(pending.data() + start, end - start);
      recorder.record(std::string_view(line.data(), line.size() + 1));
      if (options.slow_ms > 0) sleep_ms(options.slow_ms);
      std::string answer = answer_bytes(options, line);
      if (!answer.empty() && !send_all(fd, answer)) return;
      ++answers;
    }
    pending.erase(0, start);
  }
  // The peer's last bytes without a line feed still count as received.
  if (!pending.empty()) recorder.record(pending);
}

int run(const AppOptions& options) {
  AppFiles files(options.temp_dir, options.mode);
  Recorder recorder(options.record_path);
  std::uint16_t port = 0;
  if (!recorder.ok()) {
    std::perror("tavorin_example_app: cannot open the record file");
    return 1;
  }
  if (!files.create_lock_file()) {
    std::perror("tavorin_example_app: cannot create the lock file");
    return 1;
  }
  int listener = listen_on_loopback(options.port, port);
  if (listener < 0) {
    std::perror("tavorin_example_app: cannot listen on 127.0.0.1");
    return 1;
  }
  if (options.write_port_file && !files.write_port_file(port)) {
    std::perror("tavorin_example_app: cannot write the port file");
    return 1;
  }
  std::printf("listening on %u\n", unsigned{port});
  std::fflush(stdout);
  // One host process connects per browser connection, so connections are
  // served one after another, never at the same time.
  for (;;) {
    int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0 && errno == EINTR) continue;
    if (connection < 0) {
      std::perror("tavorin_example_app: accept failed");
      return 1;
    }
    serve(connection, options, recorder);
    ::close(connection);
  }
}

}  // namespace
}  // namespace tavorin::example

int main(int argc, char** argv) {
  std::optional<tavorin::example::AppOptions> options =
      tavorin::example::parse_options(argc, argv);
  if (!options) return 2;
  return tavorin::example::run(*options);
}
