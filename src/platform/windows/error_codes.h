#pragma once

#include <cstdint>

#include "platform/io_error.h"
#include "platform/windows/win32.h"

namespace tavorin {

// The kind of a Windows system or Windows Sockets error code.
ErrorKind windows_error_kind(std::int32_t code);

inline IoError windows_error(DWORD code) {
  auto signed_code = static_cast<std::int32_t>(code);
  return IoError::system(signed_code, windows_error_kind(signed_code));
}

// The error of the kernel32 call that just failed.
inline IoError last_error() { return windows_error(GetLastError()); }

// The error of the Windows Sockets call that just failed.
inline IoError last_socket_error() {
  return windows_error(static_cast<DWORD>(WSAGetLastError()));
}

}  // namespace tavorin
