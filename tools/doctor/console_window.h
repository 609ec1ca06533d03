#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "browsers.h"
#include "check.h"

namespace tavorin::doctor {

inline constexpr std::string_view CONSOLE_WINDOW_CHECK = "console_window";

// Which program Windows hands a new console to (the "default terminal
// application": HKCU\Console\%%Startup, DelegationConsole), and the
// system's build, which decides what "Let Windows decide" means.
struct TerminalChoice {
  std::optional<std::string> delegation_console;  // a COM class's GUID
  unsigned windows_build = 0;
};

// How one browser starts a host on this machine.
struct BrowserLaunch {
  const native_messaging::Browser* browser = nullptr;
  bool through_cmd = false;
  std::string why;  // the policy (or its absence) that decides it
};

// What decides whether a console window could show when a browser starts
// the host, shown as information: the default terminal, the build and each
// browser's launch. It never fails: no browser's launch shows a window.
Check judge_console_window(const TerminalChoice& terminal,
                           std::span<const BrowserLaunch> launches);

// This system's answer for the browsers: nothing where no console is made
// for the host (Linux).
std::optional<Check> check_console_window(
    std::span<const native_messaging::Browser* const> browsers);

}  // namespace tavorin::doctor
