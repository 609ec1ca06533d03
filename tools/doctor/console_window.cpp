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

Check judge_console_window(const TerminalChoice& terminal,
                           std::span<const BrowserLaunch> launches) {
  std::optional<std::string> delegated = delegated_terminal(terminal);
  Check check = make_check(std::string(CONSOLE_WINDOW_CHECK), "Console window",
                           terminal_line(terminal, delegated));
  std::vector<std::string> through_cmd;
  for (const BrowserLaunch& launch : launches) {
    check.add_line(std::string(launch.browser->title) + " starts the host " +
                   (launch.through_cmd ? "through cmd.exe" : "directly") +
                   " (" + launch.why + ")");
    if (launch.through_cmd) through_cmd.emplace_back(launch.browser->title);
  }
  check.ok = !delegated || through_cmd.empty();
  if (check.ok) return check;
  check.add_line("the hidden console that cmd.exe gets shows as a window of " +
                 *delegated + " each time the extension connects");
  check.fix =
      "set the default terminal application to \"Windows Console Host\" "
      "(Settings > System > For developers > Terminal); an administrator "
      "can instead set the policy NativeHostsExecutablesLaunchDirectly = 1 "
      "for Chrome and Edge, which then start the host without cmd.exe";
  return check;
}

}  // namespace tavorin::doctor
