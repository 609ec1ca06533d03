#include <charconv>

#include "console_window.h"
#include "windows/registry.h"

namespace tavorin::doctor {

namespace {

using native_messaging::Browser;
using native_messaging::Family;

unsigned windows_build() {
  auto build = native_messaging::registry_string(
      true, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
      "CurrentBuildNumber");
  unsigned number = 0;
  if (build)
    std::from_chars(build->data(), build->data() + build->size(), number);
  return number;
}

// Chrome's and Edge's default is cmd.exe; the policy, where an
// administrator set it, decides (native_process_launcher.cc: the managed
// preference wins over the LaunchWindowsNativeHostsDirectly feature, which
// is off by default).
BrowserLaunch launch_of(const Browser& browser) {
  if (browser.family == Family::Firefox) {
    return {&browser, false, "Firefox starts every host itself"};
  }
  auto direct = native_messaging::policy_number(
      browser, "NativeHostsExecutablesLaunchDirectly");
  if (!direct) {
    return {&browser, true, "NativeHostsExecutablesLaunchDirectly: not set"};
  }
  return {&browser, direct->value == 0,
          direct->key + ": NativeHostsExecutablesLaunchDirectly = " +
              std::to_string(direct->value)};
}

}  // namespace

std::optional<Check> check_console_window(
    std::span<const Browser* const> browsers) {
  TerminalChoice terminal{native_messaging::registry_string(
                              false, "Console\\%%Startup", "DelegationConsole"),
                          windows_build()};
  std::vector<BrowserLaunch> launches;
  for (const Browser* browser : browsers)
    launches.push_back(launch_of(*browser));
  return judge_console_window(terminal, launches);
}

}  // namespace tavorin::doctor
