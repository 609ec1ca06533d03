#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "registration.h"
#include "system.h"

namespace tavorin::doctor {

namespace {

using native_messaging::Browser;
using native_messaging::HOST_NAME;

// The browser's per-user folder lies below the home directory, which the
// browser takes from $HOME and, without it, from the user database.
std::string home_directory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  const passwd* user = getpwuid(getuid());
  return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
}

// A manifest here is removed as the file itself; the user's own by that
// user, the system's by root.
RegistrationPlace look_at(std::string path, bool per_user) {
  RegistrationPlace place{.where = std::move(path), .per_user = per_user};
  if (path_exists(place.where)) {
    place.manifest_path = place.where;
    place.manifest_exists = true;
    place.remove_text =
        (per_user ? "delete " : "as root, delete ") + place.where;
  }
  return place;
}

std::string manifest_file_name() { return std::string(HOST_NAME) + ".json"; }

}  // namespace

BrowserRegistration find_registration(const Browser& browser) {
  std::string which_id = browser.family == native_messaging::Family::Firefox
                             ? " (its Firefox ID)"
                             : "";
  BrowserRegistration registration{
      .browser = &browser,
      .absent_text = "no file",
      .register_fix = "run install-linux.sh --extension EXTENSION_ID" +
                      which_id +
                      " --path /absolute/path/to/tavorin_shim --browser " +
                      std::string(browser.name),
      .takes_first_valid = browser.family == native_messaging::Family::Firefox};
  registration.places.push_back(look_at(home_directory() + "/" +
                                            std::string(browser.user_folder) +
                                            "/" + manifest_file_name(),
                                        true));
  for (std::string_view folder : browser.system_folders) {
    if (folder.empty()) continue;
    registration.places.push_back(
        look_at(std::string(folder) + "/" + manifest_file_name(), false));
  }
  return registration;
}

}  // namespace tavorin::doctor
