#include "policies.h"

namespace tavorin::doctor {

// Browsers on Linux read policies from JSON files that only an administrator
// writes; the doctor reads the Windows registry's only, and says so.
std::vector<Check> check_policies(std::span<const BrowserRegistration>) {
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
