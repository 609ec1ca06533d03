#include <algorithm>

#include "policies.h"

namespace tavorin::doctor {

// Browsers on Linux read policies from JSON files that only an administrator
// writes; of the Chromium family's the doctor reads none, and says so.
// (Firefox's, which can keep the extension itself from running, are read
// after its manifest, whose IDs they concern.)
std::vector<Check> check_policies(
    std::span<const BrowserRegistration> registrations) {
  bool chromium = std::ranges::any_of(registrations, [](const auto& r) {
    return r.browser->family == native_messaging::Family::Chromium;
  });
  if (!chromium) return {};
  Check check = make_check(
      "policies", "Policies",
      "not read on Linux: an administrator's policy "
      "(NativeMessagingUserLevelHosts, NativeMessagingBlocklist) would be in "
      "the browser's managed policy folder, such as "
      "/etc/opt/chrome/policies/managed");
  check.ok = true;
  return {check};
}

}  // namespace tavorin::doctor
