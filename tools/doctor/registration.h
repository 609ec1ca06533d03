#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browsers.h"
#include "check.h"

namespace tavorin::doctor {

// One place a browser reads the host's registration from, and what is there.
struct RegistrationPlace {
  std::string where{};  // a manifest's path (Linux) or a registry key (Windows)
  std::optional<std::string> manifest_path{};  // when the place registers one
  // How the registry holds a path it does not hold as it stands (a
  // REG_EXPAND_SZ and its text), or empty.
  std::string stored_as{};
  // The type of a value the browser passes over unread (a REG_EXPAND_SZ for
  // Firefox), or empty.
  std::string held_as{};
  bool manifest_exists = false;
  // Why the browser skips this place (a policy), or empty when it reads it.
  std::string ignored_because{};
  // The user's own place (HKCU, the home folder) rather than the machine's.
  bool per_user = false;
  // How to remove what registers the host here (a command), or empty.
  std::string remove_text{};
};

struct BrowserRegistration {
  const native_messaging::Browser* browser = nullptr;
  std::vector<RegistrationPlace> places{};  // in the order the browser reads
  std::string_view absent_text{};           // how a place without one reads
  std::string register_fix{};               // the install command for it
  std::string ignored_fix{};  // what makes the browser read an ignored place
  // Firefox on Linux tries each manifest in turn and takes the first valid
  // one; every browser on Windows (Firefox too) takes the first registry
  // value it finds, valid or not.
  bool takes_first_valid = false;
  // Windows names a file in any case of its letters.
  bool paths_ignore_case = false;

  // The registration the browser takes: the first it reads. Null when none.
  const RegistrationPlace* winner() const;
  // The manifests the browser may take, in its order: the winner's alone
  // (none when it is broken); where it takes the first valid one, every
  // existing one.
  std::vector<const RegistrationPlace*> manifests_to_read() const;
  // The first place naming a manifest that does not exist, or null.
  const RegistrationPlace* first_broken() const;
  // True when places register the host but the browser reads none of them
  // (a policy hides them all).
  bool registered_only_where_ignored() const;
};

// Where this system's browser looks, in its order, and what it finds there.
BrowserRegistration find_registration(const native_messaging::Browser& browser);

// The finding: every place in order, which one wins, and what is wrong.
Check describe_registration(const BrowserRegistration& registration);

}  // namespace tavorin::doctor
