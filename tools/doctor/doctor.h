#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "browsers.h"
#include "manifest_check.h"
#include "report.h"

namespace tavorin {
class Platform;
}

namespace tavorin::doctor {

// Every check, in order, for the given browsers, and the overall verdict:
// ok only when a browser can start the host, no registration is broken, the
// app is found and reachable, and the live launch passes.
Report examine(Platform& os,
               std::span<const native_messaging::Browser* const> browsers);

// The host the first of the browsers with a valid registration would start,
// found as that browser finds it; nothing when none has one.
struct RegisteredHost {
  const native_messaging::Browser* browser = nullptr;
  HostToStart host;
};
std::optional<RegisteredHost> find_registered_host(
    Platform& os, std::span<const native_messaging::Browser* const> browsers);

// The whole program: options, the checks, the output. Returns the exit
// status.
int run_doctor(Platform& os, std::span<const std::string> arguments);

}  // namespace tavorin::doctor
