#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "browsers.h"

namespace tavorin::doctor {

// One finding of the doctor: what was looked at, whether it is as the
// browser needs it, what was found (paths, keys, values), and for a failure
// the one action that fixes it.
struct Check {
  std::string id{};     // "registration:chrome", "app_running", ...
  std::string title{};  // as a person reads it: "Registration for Chromium"
  bool ok = false;
  std::string detail{};  // lines separated by '\n'
  std::string fix{};     // empty when ok
  // False for a check that cannot be answered where it runs (the Windows
  // check under Wine): it counts as ok, and people see a dash, not a tick.
  bool measured = true;
  // The browser the finding is about, or null for the app and the launch.
  const native_messaging::Browser* browser = nullptr;

  // One more line of what was found.
  void add_line(std::string_view line) {
    detail += '\n';
    detail += line;
  }
};

// A check that fails until its maker finds it passes.
inline Check make_check(std::string id, std::string title, std::string detail,
                        const native_messaging::Browser* browser = nullptr) {
  Check check;
  check.id = std::move(id);
  check.title = std::move(title);
  check.detail = std::move(detail);
  check.browser = browser;
  return check;
}

}  // namespace tavorin::doctor
