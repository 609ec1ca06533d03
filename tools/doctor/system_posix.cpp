#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "system.h"

namespace tavorin::doctor {

using native_messaging::ManifestProblem;

bool path_exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

std::expected<std::string, std::string> read_file_bytes(
    const std::string& path) {
  int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return std::unexpected(std::strerror(errno));
  std::string bytes;
  char chunk[4096];
  for (;;) {
    ssize_t got = ::read(file, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      std::string why = std::strerror(errno);
      ::close(file);
      return std::unexpected(why);
    }
    if (got == 0) break;
    bytes.append(chunk, static_cast<std::size_t>(got));
  }
  ::close(file);
  return bytes;
}

std::string resolve_host_path(const std::string&, const std::string& path) {
  return path;
}

std::vector<ManifestProblem> host_start_problems(const std::string& host_path) {
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
