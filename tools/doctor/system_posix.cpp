#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/file_descriptor.h"
#include "system.h"

namespace tavorin::doctor {

namespace {

std::string_view other_kind(mode_t mode) {
  if (S_ISREG(mode)) return {};
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  return "a special file";
}

}  // namespace

using native_messaging::ManifestProblem;

bool path_exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

std::expected<FileBytes, UnreadableFile> read_file_bytes(
    Platform& os, const std::string& path) {
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never
  // come; the kind of file is checked once it is open, before any read.
  FileDescriptor file(
      ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file.is_open()) {
    return std::unexpected(cannot_read(os, path, last_error()));
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) {
    return std::unexpected(cannot_read(os, path, last_error()));
  }
  FileNature nature{other_kind(info.st_mode),
                    static_cast<std::uint64_t>(info.st_size)};
  return read_small_file(os, path, nature, [&](std::span<char> buffer) {
    return read_fd(file.get(), buffer);
  });
}

std::string resolve_host_path(const std::string&, const std::string& path) {
  return path;
}

std::vector<ManifestProblem> host_start_problems(const std::string& host_path,
                                                 native_messaging::Family) {
  struct stat info {};
  if (::stat(host_path.c_str(), &info) != 0) {
    return {{"\"path\" names " + host_path + ", which does not exist",
             "install the host there, or point \"path\" at it (install "
             "again with --path)"}};
  }
  if (!S_ISREG(info.st_mode)) {
    return {{"\"path\" names " + host_path + ", which is not a file",
             "point \"path\" at the host program itself"}};
  }
  if (::access(host_path.c_str(), X_OK) != 0) {
    return {{"the host " + host_path + " is not executable",
             "chmod +x " + host_path}};
  }
  return {};
}

}  // namespace tavorin::doctor
