#pragma once

#include <cerrno>
#include <cstdint>

#include "platform/io_error.h"

namespace tavorin {

// The kind of an errno value.
ErrorKind errno_error_kind(std::int32_t code);

// The error of the system call that just failed.
inline IoError last_error() {
  return IoError::system(errno, errno_error_kind(errno));
}

}  // namespace tavorin
