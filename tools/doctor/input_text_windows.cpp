#include <windows.h>

#include "input_text.h"
#include "windows/wide.h"

namespace tavorin::doctor {

namespace {

constexpr wchar_t END_OF_INPUT = L'\x1A';  // Ctrl+Z

// Typed text as UTF-16, until a line that starts with Ctrl+Z. A character
// outside the Basic Multilingual Plane may come in two reads, one half
// each: the text is made whole before it is converted.
std::string read_console(HANDLE console) {
  std::wstring typed;
  wchar_t buffer[4096];
  for (;;) {
    DWORD got = 0;
    if (!ReadConsoleW(console, buffer, 4096, &got, nullptr) || got == 0) break;
    typed.append(buffer, got);
    std::size_t end = typed.find(END_OF_INPUT);
    if (end != std::wstring::npos) {
      typed.resize(end);
      break;
    }
  }
  return native_messaging::narrow(typed);
}

std::string read_bytes(HANDLE file) {
  std::string text;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text.append(buffer, got);
  }
  return text;
}

}  // namespace

std::string read_standard_input() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return {};
  DWORD mode = 0;
  return GetConsoleMode(input, &mode) ? read_console(input) : read_bytes(input);
}

}  // namespace tavorin::doctor
