#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>

#include "browsers.h"
#include "manifest_check.h"
#include "registration.h"

namespace tavorin {
class Platform;
}

namespace tavorin::doctor {

// Browsers that share a manifest (as every browser does on Windows) get
// the finding once, and a pointer to it after that. A finding holds for
// the browsers of one family only: the same file may be the Chromium
// family's valid manifest and one Firefox refuses.
class ManifestFindings {
 public:
  ManifestFinding check(Platform& os, const native_messaging::Browser& browser,
                        const std::string& path);

 private:
  std::map<std::pair<std::string, native_messaging::Family>, ManifestFinding>
      findings_;
};

// The manifest the browser takes, as found: the Chromium family's winner;
// for Firefox the first valid one, naming those it passes over, or the
// first it tries when it takes none. Nothing when none is registered.
std::optional<ManifestFinding> taken_manifest(
    Platform& os, ManifestFindings& manifests,
    const BrowserRegistration& registration);

}  // namespace tavorin::doctor
