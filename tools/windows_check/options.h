#pragma once

#include <expected>
#include <span>
#include <string>

#include "context.h"

namespace tavorin::windows_check {

// The command line after the program's name; on a usage error, what is
// wrong with it.
std::expected<Options, std::string> parse_options(
    std::span<const std::wstring> arguments);

inline constexpr const char* USAGE =
    "usage: tavorin_windows_check.exe [--json] [--host PATH] "
    "[--msi PACKAGE [--msi LATER_PACKAGE]] [--elevated-app]\n"
    "\n"
    "Checks on this Windows what the tests under Wine cannot: how each "
    "browser's way of starting the host works here, the log's cost on a "
    "console, refused loopback connects, the script installer, the host's "
    "owner lookup, the default terminal, the registry views and, with "
    "--msi and an administrator's prompt, the MSI while a host runs.\n"
    "\n"
    "  --json          one JSON object, as tavorin_doctor --json writes\n"
    "  --host PATH     test this tavorin_shim.exe instead of the one carried "
    "inside\n"
    "  --msi PACKAGE   install, upgrade (with a second --msi) and uninstall "
    "it while a host runs\n"
    "  --elevated-app  start the example app as administrator (one consent "
    "prompt) and see that the host takes it for this user's\n"
    "\n"
    "It writes only in a folder of its own under %TEMP% and removes it; it "
    "puts back the registry key the script installer writes.\n"
    "Exit status: 0 when no check failed, 1 when one did, 2 for a usage "
    "error.\n";

}  // namespace tavorin::windows_check
