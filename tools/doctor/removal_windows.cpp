#include "removal_windows.h"

#include <algorithm>
#include <cctype>

namespace tavorin::doctor {

namespace {

using native_messaging::RegistryPlace;

std::string folder_of(const std::string& path) {
  return path.substr(0, path.find_last_of('\\') + 1);
}

bool starts_with_any_case(const std::string& text, const std::string& start) {
  return text.size() >= start.size() &&
         std::ranges::equal(start, text.substr(0, start.size()),
                            [](unsigned char a, unsigned char b) {
                              return std::tolower(a) == std::tolower(b);
                            });
}

bool installed_by_package(const std::string& manifest) {
  std::optional<std::string> folder =
      native_messaging::registry_string(true, PACKAGE_KEY, "InstallDir");
  return folder && !folder->empty() && starts_with_any_case(manifest, *folder);
}

// HKCU\SOFTWARE is one key in both views; HKLM's views are two.
std::string reg_delete(const RegistryPlace& key) {
  if (!key.machine) return "reg delete \"HKCU\\" + key.key + "\" /f";
  return "reg delete \"HKLM\\" + key.key + "\" /f" +
         (key.view_32_bit ? " /reg:32" : " /reg:64");
}

}  // namespace

std::string removal_text(const RegistryPlace& key,
                         const std::string& manifest) {
  if (!key.machine) {
    return "as this user, run install-windows.cmd /uninstall in " +
           folder_of(manifest) + " (every browser), or " + reg_delete(key) +
           " (this key alone)";
  }
  if (installed_by_package(manifest)) {
    return "uninstall \"" + std::string(PACKAGE_NAME) +
           "\" (Settings > Apps, or msiexec /x with its product code)";
  }
  return "from an administrator prompt, run install-windows.cmd /machine "
         "/uninstall in " +
         folder_of(manifest) + " (every browser), or " + reg_delete(key) +
         " (this key alone)";
}

}  // namespace tavorin::doctor
