#pragma once

#include <expected>
#include <string>
#include <vector>

#include "manifest.h"

namespace tavorin::doctor {

// The browser's view of this system's files, in UTF-8 paths: what it sees
// before it starts a host. Not the host's platform layer, whose rules for
// the app's files (such as passing over files that other users own) are no
// browser's, and which reads text only.

#if defined(_WIN32)
inline constexpr native_messaging::System THIS_SYSTEM =
    native_messaging::System::Windows;
#else
inline constexpr native_messaging::System THIS_SYSTEM =
    native_messaging::System::Linux;
#endif

// True for an entry of any kind, as the browser tests a manifest's place.
bool path_exists(const std::string& path);

// Every byte of the file, or why it cannot be read.
std::expected<std::string, std::string> read_file_bytes(
    const std::string& path);

// The program a manifest's "path" names: on Windows a relative path is taken
// from the manifest's folder, as the browser does; elsewhere as it is.
std::string resolve_host_path(const std::string& manifest_path,
                              const std::string& path);

// What keeps the browser on this system from starting that program.
std::vector<native_messaging::ManifestProblem> host_start_problems(
    const std::string& host_path);

}  // namespace tavorin::doctor
