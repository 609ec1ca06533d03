#include <array>

#include "firefox_policies.h"
#include "system.h"

namespace tavorin::doctor {

namespace {

// Firefox on Linux reads the system's policies.json and, only when there is
// none, the one in its own installation's distribution folder, wherever the
// distribution or the user installed it.
constexpr std::string_view SYSTEM_POLICIES =
    "/etc/firefox/policies/policies.json";
constexpr std::array<std::string_view, 4> DISTRIBUTION_POLICIES = {
    "/usr/lib/firefox-esr/distribution/policies.json",
    "/usr/lib/firefox/distribution/policies.json",
    "/usr/lib64/firefox/distribution/policies.json",
    "/opt/firefox/distribution/policies.json"};

std::vector<std::string> existing(std::span<const std::string_view> paths) {
  std::vector<std::string> found;
  for (std::string_view path : paths) {
    if (path_exists(std::string(path))) found.emplace_back(path);
  }
  return found;
}

std::string places_text() {
  std::string text = "Firefox reads " + std::string(SYSTEM_POLICIES) +
                     " and, only without it, distribution/policies.json in "
                     "its own folder:";
  for (std::string_view file : DISTRIBUTION_POLICIES) {
    text += "\n  " + std::string(file);
  }
  return text;
}

}  // namespace

FirefoxPolicySources firefox_policy_sources(Platform& os) {
  FirefoxPolicySources found{places_text(), {}};
  std::vector<std::string> files = existing({&SYSTEM_POLICIES, 1});
  if (files.empty()) files = existing(DISTRIBUTION_POLICIES);
  for (const std::string& file : files) {
    found.sources.push_back(read_policy_file(os, file));
  }
  return found;
}

}  // namespace tavorin::doctor
