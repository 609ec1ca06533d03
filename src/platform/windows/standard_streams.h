#pragma once

#include <cstddef>
#include <string_view>

#include "platform/io_error.h"
#include "platform/windows/win32.h"
#include "platform/windows/windows_platform.h"

namespace tavorin {

// A standard stream the process was started without: a null handle, or a
// handle the system rejects as invalid.
inline bool is_missing_stream(const IoError& error) {
  return error.is_system_code(ERROR_INVALID_HANDLE_CODE);
}

// Writes to standard output or standard error (STD_OUTPUT_HANDLE or
// STD_ERROR_HANDLE), fetching the handle afresh: a console gets text, any
// other handle the bytes. A missing stream takes every byte. Allocates
// nothing.
Result<std::size_t> write_std_handle(DWORD which, ConsoleCarry& carry,
                                     std::string_view bytes);

}  // namespace tavorin
