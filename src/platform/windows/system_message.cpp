#include <array>
#include <charconv>
#include <optional>
#include <string>

#include "platform/windows/wide_text.h"
#include "platform/windows/windows_platform.h"
#include "shim/white_space.h"

namespace tavorin {

namespace {

constexpr DWORD FROM_SYSTEM_IGNORING_INSERTS =
    FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

// Codes with this bit are native status codes; their texts live in ntdll.
constexpr std::int32_t NATIVE_STATUS_BIT = 0x10000000;

constexpr std::size_t MESSAGE_UNITS = 2048;

std::string decimal(std::int64_t number) {
  std::array<char, 24> digits{};
  auto [end, ec] =
      std::to_chars(digits.data(), digits.data() + digits.size(), number);
  (void)ec;
  return std::string(digits.data(), end);
}

}  // namespace

std::string WindowsPlatform::system_message(std::int32_t code) {
  std::int32_t id = code;
  DWORD flags = FROM_SYSTEM_IGNORING_INSERTS;
  HMODULE source = nullptr;
  if ((id & NATIVE_STATUS_BIT) != 0) {
    source = GetModuleHandleW(L"NTDLL.DLL");
    if (source != nullptr) {
      id &= ~NATIVE_STATUS_BIT;
      flags |= FORMAT_MESSAGE_FROM_HMODULE;
    }
  }
  std::array<wchar_t, MESSAGE_UNITS> buffer;
  DWORD length =
      FormatMessageW(flags, source, static_cast<DWORD>(id), 0, buffer.data(),
                     static_cast<DWORD>(buffer.size()), nullptr);
  if (length == 0) {
    auto lookup_error = static_cast<std::int32_t>(GetLastError());
    return "OS Error " + decimal(id) + " (FormatMessageW() returned error " +
           decimal(lookup_error) + ")";
  }
  std::optional<std::string> text =
      from_wide_strict(std::span(buffer.data(), length));
  if (!text) {
    return "OS Error " + decimal(id) +
           " (FormatMessageW() returned invalid UTF-16)";
  }
  // The system ends its texts with a line break that would split the log
  // line before " (os error N)".
  return std::string(trim_end(*text));
}

}  // namespace tavorin
