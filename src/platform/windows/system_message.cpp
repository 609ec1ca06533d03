#include <array>
#include <span>
#include <string>

#include "platform/windows/message_text.h"
#include "platform/windows/windows_platform.h"

namespace tavorin {

namespace {

constexpr DWORD FROM_SYSTEM_IGNORING_INSERTS =
    FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

// Codes with this bit are native status codes; their texts live in ntdll.
constexpr std::int32_t NATIVE_STATUS_BIT = 0x10000000;

constexpr std::size_t MESSAGE_UNITS = 2048;

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
    return system_message_text(id, std::nullopt,
                               static_cast<std::int32_t>(GetLastError()));
  }
  return system_message_text(
      id, std::span<const wchar_t>(buffer.data(), length), 0);
}

}  // namespace tavorin
