#include "system_facts.h"

#include <windows.h>

#include "windows/registry.h"
#include "windows/wide.h"

namespace tavorin::windows_check {

namespace {

using native_messaging::narrow;

constexpr const char* CURRENT_VERSION =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

}  // namespace

std::optional<std::string> wine_version() {
  using WineGetVersion = const char*(__cdecl*)();
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return std::nullopt;
  auto get_version = reinterpret_cast<WineGetVersion>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
  if (get_version == nullptr) return std::nullopt;
  return std::string(get_version());
}

bool running_elevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return false;
  }
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  bool elevated = GetTokenInformation(token, TokenElevation, &elevation,
                                      sizeof elevation, &size) &&
                  elevation.TokenIsElevated != 0;
  CloseHandle(token);
  return elevated;
}

// The version the system reports to a program that asks ntdll, which no
// compatibility shim lowers.
std::string windows_version() {
  using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto get_version = reinterpret_cast<GetVersion>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (get_version == nullptr || get_version(&info) != 0) return "unknown";
  std::string text = "Windows " + std::to_string(info.dwMajorVersion) + "." +
                     std::to_string(info.dwMinorVersion) + "." +
                     std::to_string(info.dwBuildNumber);
  if (auto revision =
          native_messaging::registry_number(true, CURRENT_VERSION, "UBR")) {
    text.append(".").append(std::to_string(*revision));
  }
  if (auto display = native_messaging::registry_string(true, CURRENT_VERSION,
                                                       "DisplayVersion")) {
    text.append(" (").append(*display).append(")");
  }
  return text;
}

std::string user_name() {
  wchar_t name[256];
  DWORD size = 256;
  std::string user = GetUserNameW(name, &size) ? narrow(name) : "unknown";
  wchar_t domain[256];
  if (GetEnvironmentVariableW(L"USERDOMAIN", domain, 256) > 0) {
    return narrow(domain) + "\\" + user;
  }
  return user;
}

}  // namespace tavorin::windows_check
