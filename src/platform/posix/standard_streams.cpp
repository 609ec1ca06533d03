#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include "platform/posix/file_descriptor.h"
#include "platform/posix/posix_platform.h"

namespace tavorin {

namespace {

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

// A closed standard stream behaves like a missing one on Windows: reads end
// at once, writes vanish.
bool is_missing_stream(const IoError& error) { return error.code() == EBADF; }

}  // namespace

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

}  // namespace tavorin
