#include "console_window.h"

#include <algorithm>
#include <cctype>

namespace tavorin::doctor {

namespace {

// The classes the Settings app writes (Windows 11, Settings > System > For
// developers > Terminal).
constexpr std::string_view CONSOLE_HOST =
    "{B23D10C0-E52E-411E-9D5B-C09FDF709C7D}";
constexpr std::string_view LET_WINDOWS_DECIDE =
    "{00000000-0000-0000-0000-000000000000}";
constexpr std::string_view WINDOWS_TERMINAL =
    "{2EACA947-7F5F-4CFA-BA87-8F7FBEEFBE69}";
// Windows 11 22H2, from which "Let Windows decide" means Windows Terminal;
// before Windows 11 nothing is handed over.
constexpr unsigned TERMINAL_BY_DEFAULT_BUILD = 22621;
constexpr unsigned WINDOWS_11_BUILD = 22000;

std::string upper(std::string_view text) {
  std::string out(text);
  std::ranges::transform(out, out.begin(), [](unsigned char c) {
    return static_cast<char>(std::toupper(c));
  });
  return out;
}

// The program that hosts a new console, as a person names it, or nothing
// for the Windows Console Host.
std::optional<std::string> delegated_terminal(const TerminalChoice& terminal) {
  if (terminal.windows_build < WINDOWS_11_BUILD) return std::nullopt;
  std::string choice = upper(terminal.delegation_console.value_or(""));
  if (choice == CONSOLE_HOST) return std::nullopt;
  if (choice.empty() || choice == LET_WINDOWS_DECIDE) {
    if (terminal.windows_build < TERMINAL_BY_DEFAULT_BUILD) {
      return std::nullopt;
    }
    return "Windows Terminal (\"Let Windows decide\" on this Windows)";
  }
  if (choice == WINDOWS_TERMINAL) return "Windows Terminal";
  return "the terminal " + choice;
}

std::string terminal_line(const TerminalChoice& terminal,
                          const std::optional<std::string>& delegated) {
  std::string line = "HKCU\\Console\\%%Startup DelegationConsole: " +
                     terminal.delegation_console.value_or("not set") +
                     " (Windows build " +
                     std::to_string(terminal.windows_build) + ")";
  return line + ": a new console is hosted by " +
         delegated.value_or("the Windows Console Host");
}

}  // namespace

// Never a failure: the console host hands a new console to the default
// terminal only when the console is about to show a window, and no browser
// asks for one. Chrome and Edge start cmd.exe with STARTF_USESHOWWINDOW and
// SW_HIDE, Firefox starts the host with CREATE_NO_WINDOW, and the console
// host attempts no hand-off for either (microsoft/terminal,
// src/server/IoDispatchers.cpp, _shouldAttemptHandoff). What the doctor
// reads is shown, so that a window seen on some machine can be compared.
Check judge_console_window(const TerminalChoice& terminal,
                           std::span<const BrowserLaunch> launches) {
  std::optional<std::string> delegated = delegated_terminal(terminal);
  Check check = make_check(std::string(CONSOLE_WINDOW_CHECK), "Console window",
                           terminal_line(terminal, delegated));
  for (const BrowserLaunch& launch : launches) {
    bool cmd = launch.through_cmd;
    check.add_line(std::string(launch.browser->title) + " starts the host " +
                   (cmd ? "through cmd.exe, hidden" : "directly") + " (" +
                   launch.why + ")");
  }
  check.add_line(
      "a console started hidden or without a window is never handed to a "
      "terminal, so no window shows; if one ever does, run "
      "tavorin_windows_check.exe and send its output");
  check.ok = true;
  return check;
}

}  // namespace tavorin::doctor
