#include <cstdlib>

#include "platform/posix/posix_platform.h"

namespace tavorin {

namespace {

const char* configured(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace

// $TMPDIR when set, as every program's; otherwise the user's own runtime
// directory (mode 0700) rather than /tmp, which every user shares.
std::string PosixPlatform::temp_directory() {
  const char* directory = configured("TMPDIR");
  if (directory == nullptr) directory = configured("XDG_RUNTIME_DIR");
  std::string path = directory != nullptr ? directory : "/tmp";
  if (path.back() != '/') path += '/';
  return path;
}

}  // namespace tavorin
