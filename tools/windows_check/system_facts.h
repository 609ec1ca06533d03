#pragma once

#include <optional>
#include <string>

namespace tavorin::windows_check {

// Wine's version when this program runs under Wine, which says so through
// ntdll's wine_get_version; nothing on Windows.
std::optional<std::string> wine_version();

// True when this process holds an administrator's full rights (an elevated
// prompt, or a CI runner's administrator account).
bool running_elevated();

// "Windows 10.0.22631.4169 (23H2)", as the system reports itself.
std::string windows_version();

// DOMAIN\user of this process.
std::string user_name();

}  // namespace tavorin::windows_check
