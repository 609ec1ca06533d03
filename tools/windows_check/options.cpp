#include "options.h"

#include <windows.h>

#include "windows/wide.h"

namespace tavorin::windows_check {

namespace {

constexpr std::size_t MOST_PACKAGES = 2;

// A full path, as the checks start programs from other folders.
std::expected<std::wstring, std::string> full_path(const std::wstring& given,
                                                   const char* option) {
  wchar_t full[MAX_PATH];
  DWORD length = GetFullPathNameW(given.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH ||
      GetFileAttributesW(full) == INVALID_FILE_ATTRIBUTES) {
    return std::unexpected(std::string(option) + ": no such file: " +
                           native_messaging::narrow(given));
  }
  return std::wstring(full, length);
}

}  // namespace

std::expected<Options, std::string> parse_options(
    std::span<const std::wstring> arguments) {
  Options options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    if (argument == L"--json") {
      options.json = true;
    } else if (argument == L"--elevated-app") {
      options.elevated_app = true;
    } else if (argument == L"--help" || argument == L"/?") {
      options.help = true;
    } else if ((argument == L"--host" || argument == L"--msi") &&
               i + 1 < arguments.size()) {
      auto path =
          full_path(arguments[++i], argument == L"--host" ? "--host" : "--msi");
      if (!path) return std::unexpected(path.error());
      if (argument == L"--host") {
        options.host = *path;
      } else {
        options.msi_packages.push_back(*path);
      }
    } else {
      return std::unexpected("unknown option or missing value: " +
                             native_messaging::narrow(argument));
    }
  }
  if (options.msi_packages.size() > MOST_PACKAGES) {
    return std::unexpected("--msi: at most an earlier and a later package");
  }
  return options;
}

}  // namespace tavorin::windows_check
