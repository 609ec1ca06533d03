#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browsers.h"

namespace tavorin::native_messaging {

// One registry place a browser reads a host's manifest path from.
struct RegistryPlace {
  bool machine;      // HKLM rather than HKCU
  bool view_32_bit;  // the 32-bit view rather than the 64-bit one
  std::string key;   // below the hive, ending in \<host name>

  // As the doctor names it: "HKCU\...\com.tavorin.desktop (32-bit view)".
  std::string describe() const;
};

// Every place, in the browser's order: HKCU then HKLM (HKCU only when user
// hosts are allowed), in each the 32-bit view then the 64-bit view (for
// Firefox, HKCU's 64-bit view only), in each the browser's keys in turn.
std::vector<RegistryPlace> registry_places(const Browser& browser,
                                           std::string_view host,
                                           bool user_hosts_allowed);

// A place's default value as a Chromium-family browser reads it
// (base::win::RegKey::ReadValue): a REG_SZ as it stands, a REG_EXPAND_SZ
// with the environment's variables put in, so
// "%LOCALAPPDATA%\Tavorin\com.tavorin.desktop.json" names a file in the
// user's own folder.
//
// Firefox reads a REG_SZ only (toolkit/modules/WindowsRegistry.sys.mjs,
// readRegKey: any other type throws inside it and reads as no value), so it
// passes over a REG_EXPAND_SZ and reads on to its next place.
struct RegistryText {
  std::string value;         // what the browser uses
  std::string stored;        // what the registry holds
  bool expandable = false;   // stored as REG_EXPAND_SZ
  bool passed_over = false;  // the browser reads on as if it were not there
};

// The manifest path a place holds (its default value), if any, as the
// browser reads it.
std::optional<RegistryText> read_manifest_path(const Browser& browser,
                                               const RegistryPlace& place);

// False when policy (NativeMessagingUserLevelHosts = 0, from HKLM or else
// HKCU) makes the browser ignore hosts registered under HKCU.
bool user_hosts_allowed(const Browser& browser);

// A value of any key in the 64-bit view: a REG_DWORD, or a string
// (REG_SZ or REG_EXPAND_SZ, as stored); nothing when it is not there.
std::optional<std::uint32_t> registry_number(bool machine, std::string_view key,
                                             std::string_view name);
std::optional<std::string> registry_string(bool machine, std::string_view key,
                                           std::string_view name);
// A REG_MULTI_SZ's strings joined by line feeds (or a string value as it
// is), as group policy stores a long text such as a policy's JSON.
std::optional<std::string> registry_text(bool machine, std::string_view key,
                                         std::string_view name);
bool registry_key_exists(bool machine, std::string_view key);

// A number the browser's policy sets, and the key that sets it
// ("HKLM\SOFTWARE\Policies\Google\Chrome"): the machine's policy wins
// over the user's.
struct PolicyNumber {
  std::string key;
  std::uint32_t value;
};
std::optional<PolicyNumber> policy_number(const Browser& browser,
                                          std::string_view name);

// One of the policy's host lists (NativeMessagingBlocklist / ...Allowlist):
// the values of the policy's subkey, and that subkey ("HKLM\SOFTWARE\...
// \NativeMessagingBlocklist"); no entries and no key when it is not set.
struct PolicyList {
  std::string key;
  std::vector<std::string> entries;
};
PolicyList policy_list(const Browser& browser, std::string_view list);

}  // namespace tavorin::native_messaging
