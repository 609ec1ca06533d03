#include <windows.h>

#include <string>

#include "console.h"
#include "windows/wide.h"

namespace tavorin::doctor {

namespace {

void write_to_console(HANDLE console, std::string_view text) {
  std::wstring wide = native_messaging::widen(text);
  const wchar_t* next = wide.data();
  auto left = static_cast<DWORD>(wide.size());
  while (left > 0) {
    DWORD written = 0;
    if (!WriteConsoleW(console, next, left, &written, nullptr) ||
        written == 0) {
      return;
    }
    next += written;
    left -= written;
  }
}

void write_bytes(HANDLE file, std::string_view text) {
  while (!text.empty()) {
    DWORD written = 0;
    if (!WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written,
                   nullptr) ||
        written == 0) {
      return;
    }
    text.remove_prefix(written);
  }
}

void write_to(DWORD which, std::string_view text) {
  HANDLE stream = GetStdHandle(which);
  if (stream == nullptr || stream == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (GetConsoleMode(stream, &mode)) {
    write_to_console(stream, text);
  } else {
    write_bytes(stream, text);
  }
}

}  // namespace

void write_output(std::string_view text) { write_to(STD_OUTPUT_HANDLE, text); }
void write_error(std::string_view text) { write_to(STD_ERROR_HANDLE, text); }

}  // namespace tavorin::doctor
