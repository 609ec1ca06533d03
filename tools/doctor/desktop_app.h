#pragma once

#include <vector>

#include "check.h"

namespace tavorin {
class Platform;
}

namespace tavorin::doctor {

// Whether the desktop app runs where the host looks for it (its lock files
// in the host's temporary directory) and which port of 127.0.0.1 answers, by
// the host's own rules and through its own platform layer. Connections are
// opened and closed at once: the app is never sent a byte.
std::vector<Check> check_desktop_app(Platform& os);

}  // namespace tavorin::doctor
