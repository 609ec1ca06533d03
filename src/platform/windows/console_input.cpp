#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "platform/windows/error_codes.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_platform.h"

namespace tavorin {

namespace {

constexpr wchar_t CTRL_Z = 0x1A;

bool is_high_surrogate(wchar_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

Result<DWORD> read_units(HANDLE console, wchar_t* into, DWORD capacity) {
  // Ctrl+Z ends the read at once, as Enter does, so that it can end the
  // input without the user pressing Enter after it.
  CONSOLE_READCONSOLE_CONTROL control{};
  control.nLength = sizeof control;
  control.dwCtrlWakeupMask = 1u << CTRL_Z;
  for (;;) {
    DWORD got = 0;
    SetLastError(0);
    if (!ReadConsoleW(console, into, capacity, &got, &control)) {
      return std::unexpected(last_error());
    }
    // Ctrl+C ends a read with nothing and this code; it is not the end of
    // the input.
    if (got == 0 && GetLastError() == ERROR_OPERATION_ABORTED) continue;
    return got;
  }
}

// One read of the console, with a surrogate pair that the read cut in two
// made whole again.
Result<std::size_t> read_line_units(HANDLE console, std::span<wchar_t> units) {
  auto capacity = static_cast<DWORD>(units.size() - 1);
  Result<DWORD> got = read_units(console, units.data(), capacity);
  if (!got) return std::unexpected(got.error());
  std::size_t count = *got;
  if (count > 0 && is_high_surrogate(units[count - 1])) {
    Result<DWORD> rest = read_units(console, units.data() + count, 1);
    if (!rest) return std::unexpected(rest.error());
    count += *rest;
  }
  return count;
}

}  // namespace

// Reads the next piece of the console's input into `pending`; leaves it
// empty at the end of the input.
Status WindowsPlatform::fill_console_input(HANDLE console) {
  std::array<wchar_t, 4096> units;
  Result<std::size_t> count = read_line_units(console, units);
  if (!count) return std::unexpected(count.error());
  std::span<const wchar_t> text(units.data(), *count);
  if (text.empty()) return {};
  if (console_input_.at_line_start && text.front() == CTRL_Z) return {};
  std::optional<std::string> utf8 = from_wide_strict(text);
  if (!utf8) return std::unexpected(CONSOLE_UNPAIRED_SURROGATE_ERROR);
  console_input_.at_line_start = text.back() == L'\n';
  console_input_.pending = std::move(*utf8);
  console_input_.taken = 0;
  return {};
}

// What was typed, as UTF-8. A line longer than the caller's buffer is
// handed out over several reads.
Result<std::size_t> WindowsPlatform::read_console(HANDLE console,
                                                  std::span<char> buffer) {
  ConsoleInputState& input = console_input_;
  if (input.taken == input.pending.size()) {
    input.pending.clear();
    input.taken = 0;
    if (Status filled = fill_console_input(console); !filled) {
      return std::unexpected(filled.error());
    }
  }
  std::size_t count =
      std::min(buffer.size(), input.pending.size() - input.taken);
  std::memcpy(buffer.data(), input.pending.data() + input.taken, count);
  input.taken += count;
  return count;
}

}  // namespace tavorin
