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

RegistrationPlace look_at(std::string path) {
  RegistrationPlace place{.where = std::move(path)};
  if (path_exists(place.where)) {
    place.manifest_path = place.where;
    place.manifest_exists = true;
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
                                        std::string(browser.user_folder) + "/" +
                                        manifest_file_name()));
  for (std::string_view folder : browser.system_folders) {
    if (folder.empty()) continue;
    registration.places.push_back(
        look_at(std::string(folder) + "/" + manifest_file_name()));
  }
  return registration;
}

}  // namespace tavorin::doctor
