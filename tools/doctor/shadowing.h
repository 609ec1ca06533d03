#pragma once

#include <optional>
#include <string>
#include <vector>

#include "registration.h"

namespace tavorin::doctor {

// A user's own registration hiding the machine's. The browser reads the
// user's places first and takes the first manifest named there, so a
// registration left from a pilot with the script keeps the browser from
// the one the package installed for every user, without a word.
struct Shadowing {
  const RegistrationPlace* used = nullptr;    // the user's: the browser's
  const RegistrationPlace* hidden = nullptr;  // the machine's: never read
};

// The shadowing in a registration: the browser takes a user's place, and
// the first machine place it reads after that names another manifest.
// Nothing where the browser takes the first valid manifest (Firefox on
// Linux), where it falls through to the next one on its own.
std::optional<Shadowing> find_shadowing(
    const BrowserRegistration& registration);

// What the doctor says about it: which manifest the browser uses, and how
// to remove either registration, so that the other one counts.
std::vector<std::string> shadowing_lines(
    const BrowserRegistration& registration, const Shadowing& shadowing);

}  // namespace tavorin::doctor
