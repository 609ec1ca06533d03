#include "shadowing.h"

#include <algorithm>
#include <cctype>

namespace tavorin::doctor {

namespace {

char folded(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Windows names one file in any case of its letters: a key naming it in
// other letters is no other manifest.
bool same_manifest(const std::string& a, const std::string& b,
                   bool ignore_case) {
  if (!ignore_case) return a == b;
  return std::ranges::equal(
      a, b, [](char x, char y) { return folded(x) == folded(y); });
}

bool read_by_browser(const RegistrationPlace& place) {
  return place.manifest_path && place.ignored_because.empty();
}

std::string named(const RegistrationPlace& place) {
  if (*place.manifest_path == place.where) return place.where;
  return *place.manifest_path + " (" + place.where + ")";
}

}  // namespace

std::optional<Shadowing> find_shadowing(
    const BrowserRegistration& registration) {
  if (registration.takes_first_valid) return std::nullopt;
  const RegistrationPlace* used = registration.winner();
  if (used == nullptr || !used->per_user) return std::nullopt;
  auto machine = std::ranges::find_if(
      registration.places, [](const RegistrationPlace& place) {
        return !place.per_user && read_by_browser(place);
      });
  if (machine == registration.places.end() ||
      same_manifest(*machine->manifest_path, *used->manifest_path,
                    registration.paths_ignore_case)) {
    return std::nullopt;
  }
  return Shadowing{used, &*machine};
}

std::vector<std::string> shadowing_lines(
    const BrowserRegistration& registration, const Shadowing& shadowing) {
  return {
      "this user's registration hides the machine's: " +
          std::string(registration.browser->title) + " uses " +
          named(*shadowing.used) + ", never " + named(*shadowing.hidden),
      "to use the machine's, remove this user's: " +
          shadowing.used->remove_text,
      "to keep this user's, remove the machine's: " +
          shadowing.hidden->remove_text,
  };
}

}  // namespace tavorin::doctor
