#include <cstdlib>

#include "platform/posix/posix_platform.h"

namespace tavorin {

std::string PosixPlatform::temp_directory() {
  const char* configured = std::getenv("TMPDIR");
  std::string directory =
      configured != nullptr && *configured != '\0' ? configured : "/tmp";
  if (directory.back() != '/') directory += '/';
  return directory;
}

}  // namespace tavorin
