#include "registration.h"
#include "removal_windows.h"
#include "system.h"
#include "windows/registry.h"

namespace tavorin::doctor {

namespace {

using native_messaging::Browser;
using native_messaging::HOST_NAME;
using native_messaging::RegistryPlace;

constexpr std::string_view USER_HOSTS_IGNORED =
    "policy NativeMessagingUserLevelHosts = 0 makes the browser skip HKCU";

constexpr std::string_view EXPANDABLE_PASSED_OVER =
    "Firefox reads no REG_EXPAND_SZ value and reads on";

RegistrationPlace look_at(const Browser& browser, const RegistryPlace& key,
                          bool user_hosts_allowed) {
  RegistrationPlace place{.where = key.describe(), .per_user = !key.machine};
  std::optional<native_messaging::RegistryText> manifest =
      native_messaging::read_manifest_path(browser, key);
  // An empty value is no registration: the browser reads on.
  if (manifest && !manifest->value.empty()) {
    place.manifest_exists =
        !manifest->passed_over && path_exists(manifest->value);
    place.manifest_path = manifest->value;
    place.remove_text = removal_text(key, manifest->value);
    if (manifest->passed_over) {
      place.held_as = "REG_EXPAND_SZ";
      place.ignored_because = std::string(EXPANDABLE_PASSED_OVER);
    } else if (manifest->expandable) {
      place.stored_as = "REG_EXPAND_SZ " + manifest->stored;
    }
  }
  if (!key.machine && !user_hosts_allowed) {
    place.ignored_because = std::string(USER_HOSTS_IGNORED);
  }
  return place;
}

}  // namespace

BrowserRegistration find_registration(const Browser& browser) {
  bool allowed = native_messaging::user_hosts_allowed(browser);
  std::string command = "install-windows.cmd /browser " +
                        std::string(browser.name) +
                        (browser.family == native_messaging::Family::Firefox
                             ? " EXTENSION_ID (its Firefox ID)"
                             : " EXTENSION_ID") +
                        " in the host's folder";
  std::string machine_install =
      "install for all users: from an administrator prompt, run "
      "install-windows.cmd /machine" +
      command.substr(std::string_view("install-windows.cmd").size());
  BrowserRegistration registration{
      .browser = &browser,
      .absent_text = "not set",
      .register_fix = allowed ? "run " + command : machine_install,
      .ignored_fix = machine_install,
      .paths_ignore_case = true};
  // Every place is read, the ones policy hides included, so that the
  // report shows a registration the browser skips.
  for (const RegistryPlace& key :
       native_messaging::registry_places(browser, HOST_NAME, true)) {
    registration.places.push_back(look_at(browser, key, allowed));
    if (registration.places.back().ignored_because == EXPANDABLE_PASSED_OVER) {
      registration.ignored_fix =
          "store the manifest's path as a REG_SZ value, which Firefox reads, "
          "or run " +
          command;
    }
  }
  return registration;
}

}  // namespace tavorin::doctor
