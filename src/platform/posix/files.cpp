#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <string>

#include "platform/posix/file_descriptor.h"
#include "platform/posix/posix_platform.h"
#include "platform/transfer.h"
#include "text/utf8.h"

namespace tavorin {

namespace {

std::string c_path(std::string_view path) { return std::string(path); }

}  // namespace

bool PosixPlatform::path_exists(std::string_view path) {
  struct stat info {};
  return ::stat(c_path(path).c_str(), &info) == 0;
}

Result<std::string> PosixPlatform::read_text_file(std::string_view path) {
  FileDescriptor file(::open(c_path(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.is_open()) return std::unexpected(last_error());
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
  if (!file.is_open()) return std::unexpected(last_error());
  Status written = write_fully(
      [&](std::string_view rest) { return write_fd(file.get(), rest); },
      content);
  if (!written) return written;
  if (::ftruncate(file.get(), static_cast<off_t>(content.size())) != 0) {
    return std::unexpected(last_error());
  }
  return {};
}

}  // namespace tavorin
