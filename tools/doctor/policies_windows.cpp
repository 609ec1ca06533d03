#include <algorithm>

#include "policies.h"
#include "windows/registry.h"

namespace tavorin::doctor {

namespace {

using native_messaging::Browser;
using native_messaging::HOST_NAME;

bool lists(const native_messaging::PolicyList& list, std::string_view entry) {
  return std::ranges::find(list.entries, entry) != list.entries.end();
}

// NativeMessagingUserLevelHosts = 0 hides every HKCU registration.
void check_user_level_hosts(const BrowserRegistration& registration,
                            Check& check) {
  auto policy = native_messaging::policy_number(
      *registration.browser, "NativeMessagingUserLevelHosts");
  if (!policy) {
    check.add_line("NativeMessagingUserLevelHosts: not set");
    return;
  }
  check.add_line(policy->key + ": NativeMessagingUserLevelHosts = " +
                 std::to_string(policy->value));
  if (policy->value != 0 || !registration.registered_only_where_ignored()) {
    return;
  }
  check.ok = false;
  check.add_line("the host is registered only under HKCU, which " +
                 std::string(registration.browser->title) +
                 " ignores under this policy");
  check.fix = registration.ignored_fix;
}

// A block list naming the host, or "*", wins unless the allow list names it.
void check_block_list(const Browser& browser, Check& check) {
  auto blocked =
      native_messaging::policy_list(browser, "NativeMessagingBlocklist");
  auto allowed =
      native_messaging::policy_list(browser, "NativeMessagingAllowlist");
  if (blocked.entries.empty()) {
    check.add_line("NativeMessagingBlocklist: not set");
    return;
  }
  bool blocks = lists(blocked, HOST_NAME) || lists(blocked, "*");
  bool exempt = lists(allowed, HOST_NAME);
  check.add_line(blocked.key + " blocks " +
                 (lists(blocked, HOST_NAME) ? std::string(HOST_NAME)
                  : blocks                  ? std::string("every host (*)")
                                            : std::string("other hosts only")));
  if (exempt) {
    check.detail +=
        ", but " + allowed.key + " allows " + std::string(HOST_NAME);
  }
  if (!blocks || exempt) return;
  check.ok = false;
  check.add_line(std::string(browser.title) + " answers \"" +
                 std::string(native_messaging::FORBIDDEN_ERROR) + "\"");
  if (check.fix.empty()) {
    check.fix = "ask the administrator to add " + std::string(HOST_NAME) +
                " to the policy NativeMessagingAllowlist (HKLM\\" +
                std::string(browser.policy_key) + "\\NativeMessagingAllowlist)";
  }
}

Check check_browser_policies(const BrowserRegistration& registration) {
  const Browser& browser = *registration.browser;
  Check check =
      make_check("policy:" + std::string(browser.name),
                 "Policies of " + std::string(browser.title),
                 "policy keys HKLM\\" + std::string(browser.policy_key) +
                     ", then HKCU\\" + std::string(browser.policy_key),
                 &browser);
  check.ok = true;
  check_user_level_hosts(registration, check);
  check_block_list(browser, check);
  return check;
}

}  // namespace

// Firefox's policies say nothing of hosts; what can stop its extension is
// checked beside its manifest.
std::vector<Check> check_policies(
    std::span<const BrowserRegistration> registrations) {
  std::vector<Check> checks;
  for (const BrowserRegistration& registration : registrations) {
    if (registration.browser->family == native_messaging::Family::Firefox) {
      continue;
    }
    checks.push_back(check_browser_policies(registration));
  }
  return checks;
}

}  // namespace tavorin::doctor
