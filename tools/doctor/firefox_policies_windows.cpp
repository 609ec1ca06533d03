#include <windows.h>

#include <array>

#include "firefox_policies.h"
#include "system.h"
#include "windows/registry.h"
#include "windows/wide.h"

namespace tavorin::doctor {

namespace {

using native_messaging::narrow;

constexpr std::string_view POLICY_KEY = "SOFTWARE\\Policies\\Mozilla\\Firefox";
constexpr std::string_view POLICY_FILE =
    "\\Mozilla Firefox\\distribution\\policies.json";

// Firefox's own folder's policies.json, in each Program Files there is.
std::vector<std::string> policy_files() {
  std::vector<std::string> files;
  for (const wchar_t* variable : {L"ProgramFiles", L"ProgramFiles(x86)"}) {
    std::array<wchar_t, MAX_PATH> folder{};
    DWORD length = GetEnvironmentVariableW(variable, folder.data(), MAX_PATH);
    if (length == 0 || length >= MAX_PATH) continue;
    std::string file =
        narrow({folder.data(), length}) + std::string(POLICY_FILE);
    if (std::find(files.begin(), files.end(), file) == files.end()) {
      files.push_back(file);
    }
  }
  return files;
}

std::string places_text(const std::vector<std::string>& files) {
  std::string text =
      "Firefox reads its group policy (HKLM, then HKCU\\" +
      std::string(POLICY_KEY) +
      ") and, only where there is none, distribution\\policies.json in its own "
      "folder:";
  for (const std::string& file : files) text += "\n  " + file;
  return text;
}

// Group policy holds each policy as a value of its own; ExtensionSettings
// is one JSON text.
std::optional<FirefoxPolicySource> group_policy(bool machine) {
  std::optional<std::string> settings =
      native_messaging::registry_text(machine, POLICY_KEY, "ExtensionSettings");
  if (!settings) return std::nullopt;
  return FirefoxPolicySource{
      std::string(machine ? "HKLM\\" : "HKCU\\") + std::string(POLICY_KEY) +
          "\\ExtensionSettings",
      "{\"policies\": {\"ExtensionSettings\": " + *settings + "}}",
      {}};
}

}  // namespace

FirefoxPolicySources firefox_policy_sources(Platform& os) {
  std::vector<std::string> files = policy_files();
  FirefoxPolicySources found{places_text(files), {}};
  bool any_group_policy = false;
  for (bool machine : {true, false}) {
    any_group_policy |=
        native_messaging::registry_key_exists(machine, POLICY_KEY);
    if (auto source = group_policy(machine)) found.sources.push_back(*source);
  }
  if (any_group_policy) return found;
  for (const std::string& file : files) {
    if (!path_exists(file)) continue;
    found.sources.push_back(read_policy_file(os, file));
  }
  return found;
}

}  // namespace tavorin::doctor
