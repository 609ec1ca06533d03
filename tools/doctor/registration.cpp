#include "registration.h"

#include <algorithm>

#include "shadowing.h"

namespace tavorin::doctor {

namespace {

using native_messaging::Family;

bool is_firefox(const BrowserRegistration& registration) {
  return registration.browser->family == Family::Firefox;
}

bool takes_first_valid(const BrowserRegistration& registration) {
  return registration.takes_first_valid;
}

std::string place_line(const RegistrationPlace& place,
                       std::string_view absent_text, bool wins) {
  std::string line = place.where + ": ";
  if (!place.manifest_path) return line + std::string(absent_text);
  if (!place.held_as.empty()) {
    return line + "holds " + place.held_as + " " + *place.manifest_path +
           ", ignored: " + place.ignored_because;
  }
  if (*place.manifest_path != place.where) {
    line += "names " + *place.manifest_path + ", ";
  }
  if (!place.stored_as.empty()) {
    line += "expanded from " + place.stored_as + ", ";
  }
  if (!place.manifest_exists) {
    line += "which does not exist (broken)";
  } else {
    line += "found";
  }
  if (!place.ignored_because.empty()) {
    line += ", ignored: " + place.ignored_because;
  } else if (wins) {
    line += ", wins";
  }
  return line;
}

std::string places_text(const BrowserRegistration& registration) {
  std::string text = "where " + std::string(registration.browser->title) +
                     " looks, in its order:";
  // Firefox on Linux passes over a manifest it refuses, so which one it
  // takes is the manifest check's to say.
  const RegistrationPlace* winner =
      takes_first_valid(registration) ? nullptr : registration.winner();
  for (const RegistrationPlace& place : registration.places) {
    text +=
        "\n  " + place_line(place, registration.absent_text, &place == winner);
  }
  return text;
}

std::string_view not_found_text(const BrowserRegistration& registration) {
  return is_firefox(registration) ? native_messaging::FIREFOX_NOT_FOUND_ERROR
                                  : native_messaging::NOT_FOUND_ERROR;
}

}  // namespace

const RegistrationPlace* BrowserRegistration::winner() const {
  for (const RegistrationPlace& place : places) {
    if (place.manifest_path && place.ignored_because.empty()) return &place;
  }
  return nullptr;
}

const RegistrationPlace* BrowserRegistration::first_broken() const {
  for (const RegistrationPlace& place : places) {
    // A value the browser passes over unread is not looked for as a file.
    if (place.manifest_path && !place.manifest_exists &&
        place.held_as.empty()) {
      return &place;
    }
  }
  return nullptr;
}

std::vector<const RegistrationPlace*> BrowserRegistration::manifests_to_read()
    const {
  if (!takes_first_valid) {
    const RegistrationPlace* taken = winner();
    if (taken == nullptr || !taken->manifest_exists) return {};
    return {taken};
  }
  std::vector<const RegistrationPlace*> read;
  for (const RegistrationPlace& place : places) {
    if (place.manifest_exists && place.ignored_because.empty()) {
      read.push_back(&place);
    }
  }
  return read;
}

bool BrowserRegistration::registered_only_where_ignored() const {
  return winner() == nullptr &&
         std::ranges::any_of(places, [](const RegistrationPlace& place) {
           return place.manifest_path && !place.ignored_because.empty();
         });
}

Check describe_registration(const BrowserRegistration& registration) {
  const native_messaging::Browser& browser = *registration.browser;
  Check check = make_check("registration:" + std::string(browser.name),
                           "Registration for " + std::string(browser.title),
                           places_text(registration), &browser);
  const RegistrationPlace* winner = registration.winner();
  if (std::optional<Shadowing> shadowing = find_shadowing(registration)) {
    for (const std::string& line : shadowing_lines(registration, *shadowing)) {
      check.add_line(line);
    }
  }
  if (const RegistrationPlace* broken = registration.first_broken()) {
    check.add_line(broken->where + " names a manifest that does not " +
                   "exist: " + *broken->manifest_path);
    check.fix = "rewrite it by installing again (" + registration.register_fix +
                "), or remove " + broken->where;
  } else if (registration.registered_only_where_ignored()) {
    check.add_line("the host is registered only where " +
                   std::string(browser.title) + " does not look");
    check.fix = registration.ignored_fix;
  } else if (winner == nullptr) {
    check.add_line("not registered: " + std::string(browser.title) +
                   " answers \"" + std::string(not_found_text(registration)) +
                   "\"");
    check.fix = registration.register_fix;
  } else {
    check.ok = true;
    if (takes_first_valid(registration)) {
      check.add_line(
          "Firefox takes the first of these whose manifest is valid and "
          "allows the extension (see the manifest check)");
    }
  }
  return check;
}

}  // namespace tavorin::doctor
