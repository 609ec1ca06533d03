#pragma once

#include <optional>
#include <string>
#include <vector>

#include "browsers.h"
#include "check.h"

namespace tavorin {
class Platform;
}

namespace tavorin::doctor {

// The host a valid registration names, and the extension the browser would
// start it for.
struct HostToStart {
  std::string program;  // the manifest's "path", resolved as the browser does
  native_messaging::Family family = native_messaging::Family::Chromium;
  // Everything the browser passes the host: the first of "allowed_origins"
  // for the Chromium family; for Firefox, the manifest's path and the first
  // of "allowed_extensions".
  std::vector<std::string> arguments;
};

struct ManifestFinding {
  Check check;
  std::optional<HostToStart> host;  // only when the manifest is valid
  // Firefox's: the IDs a valid manifest allows.
  std::vector<std::string> allowed_extensions;
};

// Reads the manifest a browser's registration names as the browser does, and
// looks at the program it names as the browser is about to start it.
ManifestFinding check_winning_manifest(Platform& os,
                                       const native_messaging::Browser& browser,
                                       const std::string& manifest_path);

}  // namespace tavorin::doctor
