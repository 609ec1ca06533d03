// The least a relay between the browser's frames and the app's lines can do:
// read a frame, send it as a line, read the answer line, write it as a frame.
// No log, no checks of the text, no trimming. The benchmark runs it beside
// the host to show what the two-process design costs on this machine.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fd_io.h"

namespace {

constexpr std::size_t PREFIX_SIZE = 4;
constexpr std::size_t MAX_FRAME = 1048576;

// The port the app wrote to its port file, or 0 when there is none.
std::uint16_t read_port() {
  const char* configured = std::getenv("TMPDIR");
  std::string path =
      configured != nullptr && *configured != '\0' ? configured : "/tmp";
  path += "/tavorin_port.txt";
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return 0;
  unsigned port = 0;
  if (std::fscanf(file, "%u", &port) != 1 || port > 65535) port = 0;
  std::fclose(file);
  return static_cast<std::uint16_t>(port);
}

int connect_to_app(std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return -1;
  int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address),
                sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Bytes that arrived on one descriptor and wait to be used, in one buffer
// large enough for the largest frame or line, so a read never copies twice.
class Inbox {
 public:
  // Pages the relay never fills are never touched, so they cost no memory.
  explicit Inbox(std::size_t capacity)
      : bytes_(std::make_unique_for_overwrite<char[]>(capacity)),
        capacity_(capacity) {}

  // Reads until at least `count` bytes wait; false at the end of input.
  bool fill_to(int fd, std::size_t count) {
    while (end_ - start_ < count) {
      if (!read_more(fd)) return false;
    }
    return true;
  }

  // Reads until a line feed waits; its offset from the start, or -1 at the
  // end of input.
  long fill_to_line_feed(int fd) {
    // Bytes after the start known to hold none: reading more may move the
    // start, but never the bytes relative to it.
    std::size_t scanned = 0;
    for (;;) {
      const char* from = bytes_.get() + start_ + scanned;
      const void* found = std::memchr(from, '\n', end_ - start_ - scanned);
      if (found != nullptr) {
        return static_cast<const char*>(found) - (bytes_.get() + start_);
      }
      scanned = end_ - start_;
      if (!read_more(fd)) return -1;
    }
  }

  const char* data() const { return bytes_.get() + start_; }
  void consume(std::size_t count) { start_ += count; }

 private:
  bool read_more(int fd) {
    if (start_ == end_) start_ = end_ = 0;
    if (end_ == capacity_) compact();
    ssize_t got = ::read(fd, bytes_.get() + end_, capacity_ - end_);
    if (got < 0 && errno == EINTR) return true;
    if (got <= 0) return false;
    end_ += static_cast<std::size_t>(got);
    return true;
  }

  void compact() {
    std::memmove(bytes_.get(), bytes_.get() + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
  }

  std::unique_ptr<char[]> bytes_;
  std::size_t capacity_;
  std::size_t start_ = 0;
  std::size_t end_ = 0;
};

std::uint32_t frame_length(const char* prefix) {
  std::uint32_t length = 0;
  for (std::size_t i = PREFIX_SIZE; i-- > 0;) {
    length = (length << 8) | static_cast<std::uint8_t>(prefix[i]);
  }
  return length;
}

void put_frame_length(std::uint32_t length, char* prefix) {
  for (std::size_t i = 0; i < PREFIX_SIZE; ++i) {
    prefix[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  }
}

// One frame to the app as a line and its answer back; false when either
// side has gone.
bool relay_one(Inbox& browser, Inbox& app, int socket) {
  if (!browser.fill_to(STDIN_FILENO, PREFIX_SIZE)) return false;
  std::uint32_t length = frame_length(browser.data());
  if (length == 0 || length > MAX_FRAME) return false;
  if (!browser.fill_to(STDIN_FILENO, PREFIX_SIZE + length)) return false;
  char line_feed = '\n';
  iovec line[2] = {{const_cast<char*>(browser.data()) + PREFIX_SIZE, length},
                   {&line_feed, 1}};
  if (!bench::write_parts(socket, line, 2)) return false;
  browser.consume(PREFIX_SIZE + length);

  long answer_length = app.fill_to_line_feed(socket);
  if (answer_length < 0) return false;
  auto answer_size = static_cast<std::uint32_t>(answer_length);
  char prefix[PREFIX_SIZE];
  put_frame_length(answer_size, prefix);
  iovec frame[2] = {{prefix, PREFIX_SIZE},
                    {const_cast<char*>(app.data()), answer_size}};
  if (!bench::write_parts(STDOUT_FILENO, frame, 2)) return false;
  app.consume(answer_size + 1);
  return true;
}

}  // namespace

int main() {
  std::uint16_t port = read_port();
  if (port == 0) return 0;
  int socket = connect_to_app(port);
  if (socket < 0) return 0;
  // Room for a whole frame or answer line plus what may follow it.
  Inbox browser(2 * (PREFIX_SIZE + MAX_FRAME));
  Inbox app(2 * (MAX_FRAME + 64));
  while (relay_one(browser, app, socket)) {
  }
  ::close(socket);
  return 0;
}
