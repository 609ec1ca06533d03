#include <cstring>

#include "platform/posix/posix_platform.h"

namespace tavorin {

std::string PosixPlatform::system_message(std::int32_t code) {
  return std::strerror(code);
}

}  // namespace tavorin
