// tavorin_example_app: the desktop app's side of the host's contract, small
// enough to read in one sitting. It listens on 127.0.0.1, announces itself
// through a port file and a lock file in the temporary directory, and
// answers every line it receives with one line, on every connection at
// once. Options make it misbehave in the ways a real app can, so that the
// host can be tried against them.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "app_files.h"
#include "conversation.h"
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

int run(const AppOptions& options) {
  AppFiles files(options.temp_dir, options.mode);
  Recorder recorder(options.record_path);
  std::uint16_t port = 0;
  if (!recorder.ok()) {
    std::perror("tavorin_example_app: cannot open the record file");
    return 1;
  }
  int listener = listen_on_loopback(options.port, port);
  if (listener < 0) {
    std::perror("tavorin_example_app: cannot listen on 127.0.0.1");
    return 1;
  }
  // The lock file comes last: a host that finds it finds the port too.
  if (options.write_port_file && !files.write_port_file(port)) {
    std::perror("tavorin_example_app: cannot write the port file");
    return 1;
  }
  if (!files.create_lock_file()) {
    std::perror("tavorin_example_app: cannot create the lock file");
    return 1;
  }
  std::printf("listening on %u\n", unsigned{port});
  std::fflush(stdout);
  for (;;) {
    int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0 && errno == EINTR) continue;
    if (connection < 0) {
      std::perror("tavorin_example_app: accept failed");
      return 1;
    }
    if (!converse_in_background(connection, options, recorder)) {
      std::perror("tavorin_example_app: cannot start a conversation");
    }
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
