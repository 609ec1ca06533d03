#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "platform/io_error.h"
#include "platform/windows/win32.h"

namespace tavorin {

// Byte-for-byte transfers on a pipe or file handle through the native calls,
// waiting as long as a pending request takes. End of input, whether the
// end-of-file status or a pipe whose writer has gone, reads 0 bytes.
Result<std::size_t> read_raw(HANDLE handle, std::span<char> buffer);
Result<std::size_t> write_raw(HANDLE handle, std::string_view bytes);

}  // namespace tavorin
