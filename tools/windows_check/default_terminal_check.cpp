#include <windows.h>

#include <algorithm>
#include <vector>

#include "app_for_hosts.h"
#include "checks.h"
#include "console_window.h"
#include "host_session.h"
#include "judgements.h"
#include "relay.h"
#include "windows/wide.h"

namespace tavorin::windows_check {

namespace {

namespace nm = native_messaging;

// Windows Terminal takes a moment to open its window for a console handed
// to it: watch this long while the host runs.
constexpr DWORD WATCH_MS = 3000;
constexpr DWORD POLL_MS = 100;
constexpr DWORD END_MS = 10000;

BOOL CALLBACK add_visible(HWND window, LPARAM list) {
  if (IsWindowVisible(window)) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  }
  return TRUE;
}

std::vector<HWND> visible_windows() {
  std::vector<HWND> windows;
  EnumWindows(add_visible, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

SeenWindow describe(HWND window) {
  wchar_t name[256] = L"";
  GetClassNameW(window, name, 256);
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  SeenWindow seen{nm::narrow(name), "process " + std::to_string(process_id)};
  HANDLE process =
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
  if (process != nullptr) {
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    if (QueryFullProcessImageNameW(process, 0, path, &size)) {
      seen.program = nm::narrow(std::wstring_view(path, size));
    }
    CloseHandle(process);
  }
  return seen;
}

// The windows that became visible while the host ran, or why the host
// could not run.
std::expected<std::vector<SeenWindow>, std::string> watch_host(
    const std::wstring& host) {
  std::vector<HWND> before = visible_windows();
  std::vector<std::string> arguments = {TEST_ORIGIN};
  auto session = HostSession::start(host, arguments, nm::LaunchMode::ThroughCmd,
                                    nm::ErrorStream::HiddenConsole);
  if (!session) return std::unexpected("did not start: " + session.error());
  std::vector<std::string> messages = {message_of_size(64)};
  if (auto relayed = relay(**session, messages); !relayed) {
    return std::unexpected(relayed.error());
  }
  std::vector<HWND> appeared;
  for (DWORD waited = 0; waited < WATCH_MS; waited += POLL_MS) {
    for (HWND window : visible_windows()) {
      if (std::ranges::find(before, window) == before.end() &&
          std::ranges::find(appeared, window) == appeared.end()) {
        appeared.push_back(window);
      }
    }
    Sleep(POLL_MS);
  }
  std::vector<SeenWindow> seen;
  for (HWND window : appeared) seen.push_back(describe(window));
  if (auto status = (*session)->finish(END_MS); !status) {
    return std::unexpected(status.error());
  }
  return seen;
}

}  // namespace

Check check_default_terminal(Context& context) {
  std::vector<const nm::Browser*> browsers;
  for (const nm::Browser& browser : nm::BROWSERS) browsers.push_back(&browser);
  std::optional<Check> doctor = doctor::check_console_window(browsers);
  Check failed = make_check("default_terminal", "The default terminal", "");
  auto folder = context.scratch.make_folder(L"terminal");
  auto app_folder = context.scratch.make_folder(L"terminal app");
  if (!doctor || !folder || !app_folder) {
    failed.detail = "the doctor's reading or a folder is missing";
    return failed;
  }
  auto placed = place_host_and_start_app(context, *folder, *app_folder);
  if (!placed) {
    failed.detail = placed.error();
    return failed;
  }
  const std::wstring& host = placed->host;
  auto seen = watch_host(host);
  if (!seen) {
    failed.detail =
        doctor->detail + "\nthe host through cmd.exe: FAILED: " + seen.error();
    return failed;
  }
  Check check = judge_default_terminal(*doctor, *seen);
  if (context.wine && check.ok) {
    mark_not_measured(check, std::string(NOT_MEASURABLE_UNDER_WINE) +
                                 ": Wine hands a console to no default "
                                 "terminal application");
  }
  return check;
}

}  // namespace tavorin::windows_check
