#pragma once

#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "browsers.h"
#include "file_bytes.h"
#include "manifest.h"

namespace tavorin {
class Platform;
}

namespace tavorin::doctor {

// The browser's view of this system's files, in UTF-8 paths: what it sees
// before it starts a host. Not the host's platform layer's reading, whose
// rules for the app's files (such as passing over files that other users
// own) are no browser's, and which reads text only; the platform gives only
// the memory and the system's error texts.

#if defined(_WIN32)
inline constexpr native_messaging::System THIS_SYSTEM =
    native_messaging::System::Windows;
#else
inline constexpr native_messaging::System THIS_SYSTEM =
    native_messaging::System::Linux;
#endif

// Whether the doctor knows where the browser looks on this system: on
// Windows, a browser whose registry keys the table leaves out is none of
// its business.
#if defined(_WIN32)
inline bool knows_browser(const native_messaging::Browser& browser) {
  return !browser.registry_keys.front().empty();
}
#else
inline bool knows_browser(const native_messaging::Browser& browser) {
  return !browser.user_folder.empty();
}
#endif

// What fixes a folder, a device or a huge file where a manifest should be.
// On Linux the manifest's place is fixed, so whatever stands there goes; on
// Windows a key names the manifest, and may name anything (a folder, NUL,
// C:\pagefile.sys) that must not be deleted: installing again writes the
// manifest and points the key at it.
#if defined(_WIN32)
inline constexpr std::string_view NOT_A_MANIFEST_FIX =
    "install again, so that the key names the manifest file it writes";
#else
inline constexpr std::string_view NOT_A_MANIFEST_FIX =
    "delete it and reinstall";
#endif

// True for an entry of any kind, as the browser tests a manifest's place.
bool path_exists(const std::string& path);

// Every byte of a file as the browser reads a manifest, with the doctor's
// own care for the files it meets on a broken set-up: opened without
// waiting on it, read only when it is a regular file of at most
// MAX_FILE_BYTES, into memory that can run short. A FIFO, a device, a
// folder, a huge file or missing memory is a finding, never a hang or a
// crash.
std::expected<FileBytes, UnreadableFile> read_file_bytes(
    Platform& os, const std::string& path);

// The program a manifest's "path" names: on Windows a relative path is taken
// from the manifest's folder, as the browser does; elsewhere as it is.
std::string resolve_host_path(const std::string& manifest_path,
                              const std::string& path);

// What keeps the browser on this system from starting that program (on
// Windows, for the Chromium family, also what its cmd.exe line changes).
std::vector<native_messaging::ManifestProblem> host_start_problems(
    const std::string& host_path, native_messaging::Family family);

}  // namespace tavorin::doctor
