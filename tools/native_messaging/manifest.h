#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavorin::native_messaging {

// Which rules apply to the manifest's "path".
enum class System { Windows, Linux };

// One thing wrong with a manifest: what, and the one action that fixes it.
// `browser_refuses` tells a manifest the browser will not load (or a host it
// cannot start) from one that merely departs from what the installers
// write.
struct ManifestProblem {
  std::string what;
  std::string fix;
  bool browser_refuses = true;
};

struct HostManifest {
  std::string name;
  std::string description;
  std::string path;
  std::string type;
  std::vector<std::string> allowed_origins;     // the Chromium family's
  std::vector<std::string> allowed_extensions;  // Firefox's
};

struct ManifestCheck {
  std::optional<HostManifest> manifest;  // whatever could be read of it
  std::vector<ManifestProblem> problems;

  bool browser_accepts() const;
};

// Reads a manifest's bytes as a Chromium-family browser does, for the host
// `host_name`, and notes every departure from what a working manifest
// holds: UTF-8 without a byte-order mark, one JSON object, its name, a
// description, type "stdio", a path (absolute on Linux) and allowed_origins
// of the form chrome-extension://<32 letters a to p>/.
ManifestCheck check_manifest(std::string_view bytes, std::string_view host_name,
                             System system);

// Reads a manifest's bytes as Firefox does: the same name, type and path,
// a description that is there (it may be empty), a non-empty
// "allowed_extensions" of Firefox IDs, and no other member, since Firefox
// refuses a manifest with a member it does not know (such as
// "allowed_origins").
ManifestCheck check_firefox_manifest(std::string_view bytes,
                                     std::string_view host_name, System system);

// True for chrome-extension://<32 letters a to p>/ exactly.
bool is_extension_origin(std::string_view origin);

// True for a name a browser accepts for a host: lower-case letters, digits,
// dots and underscores, no dot at either end or next to another.
bool is_valid_host_name(std::string_view name);

}  // namespace tavorin::native_messaging
