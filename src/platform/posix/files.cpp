#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/posix/file_descriptor.h"
#include "platform/posix/posix_platform.h"
#include "platform/transfer.h"
#include "text/utf8.h"

namespace tavorin {

namespace {

std::string c_path(std::string_view path) { return std::string(path); }

std::string parent_of(std::string_view path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

bool owned_by_us_or_root(uid_t owner) {
  return owner == ::geteuid() || owner == 0;
}

// Anyone can create a file in /tmp: there, a lock or port file that another
// user made is no sign of our app, and believing it would hand the
// browser's messages to that user.
bool planted_by_a_stranger(std::string_view path) {
  struct stat directory {};
  if (::stat(parent_of(path).c_str(), &directory) != 0) return false;
  if ((directory.st_mode & (S_IWGRP | S_IWOTH)) == 0) return false;
  struct stat entry {};
  if (::lstat(c_path(path).c_str(), &entry) != 0) return false;
  return !owned_by_us_or_root(entry.st_uid);
}

}  // namespace

bool PosixPlatform::path_exists(std::string_view path) {
  struct stat info {};
  return ::stat(c_path(path).c_str(), &info) == 0 &&
         !planted_by_a_stranger(path);
}

Result<std::string> PosixPlatform::read_text_file(std::string_view path,
                                                  std::size_t limit) {
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never
  // come; the kind of file is checked once it is open.
  FileDescriptor file(::open(c_path(path).c_str(),
                             O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file.is_open()) return std::unexpected(last_error());
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return std::unexpected(last_error());
  if (!S_ISREG(info.st_mode) ||
      static_cast<std::size_t>(info.st_size) > limit ||
      planted_by_a_stranger(path)) {
    return std::unexpected(NOT_A_SMALL_FILE_ERROR);
  }
  Result<std::string> content = read_to_end_within(
      [&](std::span<char> buffer) { return read_fd(file.get(), buffer); },
      limit);
  if (content && !is_valid_utf8(*content)) {
    return std::unexpected(INVALID_UTF8_ERROR);
  }
  return content;
}

Status PosixPlatform::write_file(std::string_view path,
                                 std::string_view content) {
  // Never through a link, and a FIFO is not waited on: whoever planted one
  // gets nothing overwritten and no launch held up.
  FileDescriptor file(::open(
      c_path(path).c_str(),
      O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
      0644));
  if (!file.is_open()) return std::unexpected(last_error());
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return std::unexpected(last_error());
  if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
    return std::unexpected(NOT_A_SMALL_FILE_ERROR);
  }
  // Overwritten in place and then cut to length: truncating on open costs
  // far more on some file systems, and the result is the same file.
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
