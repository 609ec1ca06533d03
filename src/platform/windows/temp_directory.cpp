#include <string>
#include <vector>

#include "platform/fatal_error.h"
#include "platform/windows/error_codes.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_platform.h"
#include "text/decimal.h"

namespace tavorin {

namespace {

using GetTempPathFunction = DWORD(WINAPI*)(DWORD length, LPWSTR buffer);

// GetTempPath2W gives SYSTEM processes their own directory; older systems
// lack it, so it is looked up rather than imported.
GetTempPathFunction find_get_temp_path() {
  HMODULE kernel32 = GetModuleHandleW(L"kernel32");
  if (kernel32 != nullptr) {
    FARPROC found = GetProcAddress(kernel32, "GetTempPath2W");
    if (found != nullptr) {
      return reinterpret_cast<GetTempPathFunction>(
          reinterpret_cast<void (*)()>(found));
    }
  }
  return &GetTempPathW;
}

}  // namespace

std::string WindowsPlatform::temp_directory() {
  GetTempPathFunction get_temp_path = find_get_temp_path();
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (;;) {
    DWORD length =
        get_temp_path(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) {
      auto code = static_cast<std::int32_t>(GetLastError());
      fatal_error(*this, "failed to find the temporary directory: " +
                             system_message(code) + " (os error " +
                             decimal_string(code) + ")");
    }
    // A buffer that was too small gets the size it needs, null included.
    if (length < buffer.size()) {
      return from_wide_path(std::span(buffer.data(), length));
    }
    buffer.resize(length);
  }
}

}  // namespace tavorin
