#include "platform/posix/posix_platform.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/transfer.h"
#include "text/utf8.h"

namespace tavorin {

namespace {

IoError last_error() { return IoError::system(errno, errno_error_kind(errno)); }

int to_fd(SocketHandle socket) { return static_cast<int>(socket); }

// Closes a file descriptor when the operation that opened it ends.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

Result<std::size_t> read_fd(int fd, std::span<char> buffer) {
  ssize_t got = ::read(fd, buffer.data(), buffer.size());
  if (got < 0) return std::unexpected(last_error());
  return static_cast<std::size_t>(got);
}

Result<std::size_t> write_fd_pieces(int fd,
                                    std::span<const std::string_view> pieces) {
  constexpr std::size_t MAX_PIECES = 16;
  std::array<iovec, MAX_PIECES> vectors{};
  std::size_t count = std::min(pieces.size(), MAX_PIECES);
  for (std::size_t i = 0; i < count; ++i) {
    vectors[i].iov_base = const_cast<char*>(pieces[i].data());
    vectors[i].iov_len = pieces[i].size();
  }
  ssize_t written = ::writev(fd, vectors.data(), static_cast<int>(count));
  if (written < 0) return std::unexpected(last_error());
  return static_cast<std::size_t>(written);
}

std::size_t total_size(std::span<const std::string_view> pieces) {
  std::size_t total = 0;
  for (std::string_view piece : pieces) total += piece.size();
  return total;
}

Result<std::size_t> write_fd(int fd, std::string_view bytes) {
  ssize_t written = ::write(fd, bytes.data(), bytes.size());
  if (written < 0) return std::unexpected(last_error());
  return static_cast<std::size_t>(written);
}

// A closed standard stream behaves like a missing one on Windows: reads end
// at once, writes vanish.
bool is_missing_stream(const IoError& error) { return error.code() == EBADF; }

std::string c_path(std::string_view path) { return std::string(path); }

}  // namespace

std::string PosixPlatform::temp_directory() {
  const char* configured = std::getenv("TMPDIR");
  std::string directory =
      configured != nullptr && *configured != '\0' ? configured : "/tmp";
  if (directory.back() != '/') directory += '/';
  return directory;
}

bool PosixPlatform::path_exists(std::string_view path) {
  struct stat info {};
  return ::stat(c_path(path).c_str(), &info) == 0;
}

Result<std::string> PosixPlatform::read_text_file(std::string_view path) {
  FileDescriptor file(::open(c_path(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return std::unexpected(last_error());
  std::string content;
  std::array<char, 4096> chunk{};
  for (;;) {
    Result<std::size_t> got = read_fd(file.get(), chunk);
    if (!got && got.error().kind() == ErrorKind::Interrupted) continue;
    if (!got) return std::unexpected(got.error());
    if (*got == 0) break;
    content.append(chunk.data(), *got);
  }
  if (!is_valid_utf8(content)) return std::unexpected(INVALID_UTF8_ERROR);
  return content;
}

Status PosixPlatform::write_file(std::string_view path,
                                 std::string_view content) {
  // Overwritten in place and then cut to length: truncating on open costs
  // far more on some file systems, and the result is the same file.
  FileDescriptor file(
      ::open(c_path(path).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  if (file.get() < 0) return std::unexpected(last_error());
  Status written = write_fully(
      [&](std::string_view rest) { return write_fd(file.get(), rest); },
      content);
  if (!written) return written;
  if (::ftruncate(file.get(), static_cast<off_t>(content.size())) != 0) {
    return std::unexpected(last_error());
  }
  return {};
}

std::optional<std::uint64_t> PosixPlatform::unix_time_seconds() {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  if (now.tv_sec < 0) return std::nullopt;
  return static_cast<std::uint64_t>(now.tv_sec);
}

void PosixPlatform::sleep_for(std::chrono::nanoseconds duration) {
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
  struct timespec rest {
    static_cast<time_t>(seconds.count()),
        static_cast<long>((duration - seconds).count())
  };
  while (::nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

Result<SocketHandle> PosixPlatform::tcp_connect(std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return std::unexpected(last_error());
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  while (::connect(fd, reinterpret_cast<const sockaddr*>(&address),
                   sizeof address) != 0) {
    if (errno == EINTR) continue;
    IoError error = last_error();
    ::close(fd);
    return std::unexpected(error);
  }
  return static_cast<SocketHandle>(fd);
}

Status PosixPlatform::set_receive_timeout(SocketHandle socket,
                                          std::chrono::milliseconds timeout) {
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
  timeval value{static_cast<time_t>(seconds.count()),
                static_cast<suseconds_t>(
                    std::chrono::microseconds(timeout - seconds).count())};
  if (::setsockopt(to_fd(socket), SOL_SOCKET, SO_RCVTIMEO, &value,
                   sizeof value) != 0) {
    return std::unexpected(last_error());
  }
  return {};
}

Status PosixPlatform::set_no_delay(SocketHandle socket) {
  int on = 1;
  if (::setsockopt(to_fd(socket), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) !=
      0) {
    return std::unexpected(last_error());
  }
  return {};
}

Result<SocketHandle> PosixPlatform::duplicate_socket(SocketHandle socket) {
  int fd = ::fcntl(to_fd(socket), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return std::unexpected(last_error());
  return static_cast<SocketHandle>(fd);
}

Result<std::size_t> PosixPlatform::send(SocketHandle socket,
                                        std::string_view bytes) {
  ssize_t sent =
      ::send(to_fd(socket), bytes.data(), bytes.size(), MSG_NOSIGNAL);
  if (sent < 0) return std::unexpected(last_error());
  return static_cast<std::size_t>(sent);
}

Result<std::size_t> PosixPlatform::send_part(SocketHandle socket,
                                             std::string_view bytes) {
  ssize_t sent = ::send(to_fd(socket), bytes.data(), bytes.size(),
                        MSG_NOSIGNAL | MSG_MORE);
  if (sent < 0) return std::unexpected(last_error());
  return static_cast<std::size_t>(sent);
}

Result<std::size_t> PosixPlatform::receive(SocketHandle socket,
                                           std::span<char> buffer) {
  ssize_t got = ::recv(to_fd(socket), buffer.data(), buffer.size(), 0);
  if (got < 0) return std::unexpected(last_error());
  return static_cast<std::size_t>(got);
}

void PosixPlatform::close_socket(SocketHandle socket) {
  ::close(to_fd(socket));
}

Result<std::size_t> PosixPlatform::read_stdin(std::span<char> buffer) {
  Result<std::size_t> got = read_fd(STDIN_FILENO, buffer);
  if (!got && is_missing_stream(got.error())) return 0;
  return got;
}

Result<std::size_t> PosixPlatform::write_stdout(std::string_view bytes) {
  Result<std::size_t> written = write_fd(STDOUT_FILENO, bytes);
  if (!written && is_missing_stream(written.error())) return bytes.size();
  return written;
}

Result<std::size_t> PosixPlatform::write_stderr(std::string_view bytes) {
  Result<std::size_t> written = write_fd(STDERR_FILENO, bytes);
  if (!written && is_missing_stream(written.error())) return bytes.size();
  return written;
}

Result<std::size_t> PosixPlatform::write_stdout_pieces(
    std::span<const std::string_view> pieces) {
  Result<std::size_t> written = write_fd_pieces(STDOUT_FILENO, pieces);
  if (!written && is_missing_stream(written.error())) return total_size(pieces);
  return written;
}

Result<std::size_t> PosixPlatform::write_stderr_pieces(
    std::span<const std::string_view> pieces) {
  Result<std::size_t> written = write_fd_pieces(STDERR_FILENO, pieces);
  if (!written && is_missing_stream(written.error())) return total_size(pieces);
  return written;
}

std::string PosixPlatform::system_message(std::int32_t code) {
  return std::strerror(code);
}

void PosixPlatform::terminate_process(int status) { ::_exit(status); }

}  // namespace tavorin
