#pragma once

#include <string>

#include "windows/registry.h"

namespace tavorin::doctor {

// Where the package remembers the folder it installed to (HKLM, 64-bit
// view, value InstallDir): a manifest in that folder is the package's.
inline constexpr std::string_view PACKAGE_KEY =
    "SOFTWARE\\tavorin\\Tavorin browser host";
inline constexpr std::string_view PACKAGE_NAME = "Tavorin browser host";

// How to remove the registration a key holds, naming manifest: the
// package's is uninstalled as a whole, the script's with the script in the
// manifest's folder, and one key alone with reg.exe.
std::string removal_text(const native_messaging::RegistryPlace& key,
                         const std::string& manifest);

}  // namespace tavorin::doctor
