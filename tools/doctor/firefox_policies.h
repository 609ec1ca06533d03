#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"

namespace tavorin {
class Platform;
}

namespace tavorin::doctor {

// Firefox has no policy about native messaging hosts themselves, but its
// ExtensionSettings policy can keep an extension from running at all: by
// blocking the extension (installation_mode "blocked") or the permission
// "nativeMessaging" that talking to a host needs (blocked_permissions).
// This reads every policies.json Firefox on this system may read and judges
// it for each of `extension_ids` (the winning Firefox manifest's), or, with
// none, for an extension without an entry of its own.
Check check_firefox_policies(Platform& os,
                             std::span<const std::string> extension_ids);

// Where Firefox on this system takes its policies from, and what each
// holds, as the text of a policies.json ({"policies": {...}}).
struct FirefoxPolicySource {
  std::string where;
  std::optional<std::string> text;
  std::string unreadable;  // why, when there is no text
};
struct FirefoxPolicySources {
  std::string description;  // where Firefox looks, in its order
  std::vector<FirefoxPolicySource> sources;  // the ones it takes
};
FirefoxPolicySources firefox_policy_sources(Platform& os);
// One policies.json, read as the doctor reads every file.
FirefoxPolicySource read_policy_file(Platform& os, const std::string& file);

// What one policies.json holds against those extensions: a line for each
// finding ("<file>: ..."), and the fix of the first that blocks one.
struct FirefoxPolicyFindings {
  std::vector<std::string> lines;
  std::string fix;  // empty when nothing blocks
};
FirefoxPolicyFindings judge_firefox_policies(
    std::string_view file, std::string_view text,
    std::span<const std::string> extension_ids);

}  // namespace tavorin::doctor
