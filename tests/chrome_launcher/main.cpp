// Starts the host the way a Chromium-family browser on Windows does, for the
// end-to-end tests: it finds the registration in the browser's order, reads
// the manifest as the browser does, checks the extension's origin, and
// starts the host through cmd.exe or directly, over two named pipes. Frames
// written to this program's standard input reach the host; the host's
// frames come out of its standard output. End of input closes the host's
// standard input, as a closing port does.
//
//   chrome_launcher.exe --browser chrome|chromium|edge|brave|firefox
//                       [--origin chrome-extension://ID/ | --extension ID]
//                       [--mode cmd|direct]
//                       [--stderr parent|null|invalid|console]
//                       [--console-shows TEXT]
//
// --browser firefox starts the host the way Firefox does, whatever --mode
// says: its registry order, its manifest rules, the extension's ID
// (--extension, by default the Firefox test extension's) in
// "allowed_extensions", and the program itself with no console and two
// arguments, the manifest's path and that ID. Firefox answers a missing or
// refused manifest alike, so both give 70.
//
// --stderr console starts the host as Chrome does: no handle for cmd.exe,
// and a new console, hidden. --console-shows then waits, once this program's
// input has ended and before the host's does, until that console shows TEXT,
// and writes what it shows last to standard error ("console showed:" or
// "console never showed:").
//
// Exit status: the host's (through cmd.exe: cmd's, which is the host's),
// or 70 when the browser would not find the host, 71 when it would refuse
// the origin, 72 when the host would not start; the browser's message is
// then on standard error.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browsers.h"
#include "console_view.h"
#include "manifest.h"
#include "windows/file_bytes.h"
#include "windows/launch.h"
#include "windows/registry.h"
#include "windows/wide.h"

namespace nm = tavorin::native_messaging;

namespace {

constexpr int NOT_FOUND = 70;
constexpr int FORBIDDEN = 71;
constexpr int FAILED_TO_START = 72;
constexpr DWORD CONNECT_MS = 20000;
constexpr DWORD CONSOLE_WAIT_MS = 20000;

struct Options {
  const nm::Browser* browser = &nm::BROWSERS[0];
  std::string origin = "chrome-extension://gppkkhdhkkicmjpcgcpidfjhncllihef/";
  std::string extension = "bridge-test@tavorin.example";
  nm::LaunchMode mode = nm::LaunchMode::ThroughCmd;
  nm::ErrorStream error_stream = nm::ErrorStream::Parent;
  std::string console_shows;
};

[[noreturn]] void refuse(int status, std::string_view message,
                         const std::string& why) {
  std::fprintf(stderr, "launcher: %.*s (%s)\n",
               static_cast<int>(message.size()), message.data(), why.c_str());
  std::fflush(stderr);
  ExitProcess(static_cast<UINT>(status));
}

std::optional<Options> parse(int argc, wchar_t** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::wstring_view name = argv[i];
    std::string value = nm::narrow(argv[i + 1]);
    if (name == L"--browser") {
      options.browser = nm::find_browser(value);
      if (options.browser == nullptr) return std::nullopt;
    } else if (name == L"--origin") {
      options.origin = value;
    } else if (name == L"--extension") {
      options.extension = value;
    } else if (name == L"--mode") {
      if (value != "cmd" && value != "direct") return std::nullopt;
      options.mode =
          value == "cmd" ? nm::LaunchMode::ThroughCmd : nm::LaunchMode::Direct;
    } else if (name == L"--stderr") {
      options.error_stream =
          value == "null"      ? nm::ErrorStream::Null
          : value == "invalid" ? nm::ErrorStream::InvalidHandle
          : value == "console" ? nm::ErrorStream::HiddenConsole
                               : nm::ErrorStream::Parent;
    } else if (name == L"--console-shows") {
      options.console_shows = value;
    } else {
      return std::nullopt;
    }
  }
  if (argc % 2 == 0) return std::nullopt;
  return options;
}

// The first registration in the browser's order, as it finds it.
std::optional<std::pair<nm::RegistryPlace, std::string>> find_registration(
    const nm::Browser& browser) {
  for (const nm::RegistryPlace& place : nm::registry_places(
           browser, nm::HOST_NAME, nm::user_hosts_allowed(browser))) {
    std::optional<nm::RegistryText> path =
        nm::read_manifest_path(browser, place);
    if (path && !path->passed_over) return std::pair(place, path->value);
  }
  return std::nullopt;
}

struct HostToStart {
  std::wstring program;
  std::vector<std::string> arguments;
};

bool lists(const std::vector<std::string>& list, const std::string& entry) {
  return std::find(list.begin(), list.end(), entry) != list.end();
}

// What the browser reads before it starts anything: the program to start,
// and what it passes it.
HostToStart host_to_start(const Options& options) {
  const bool firefox = options.browser->family == nm::Family::Firefox;
  std::string_view not_found =
      firefox ? nm::FIREFOX_NOT_FOUND_ERROR : nm::NOT_FOUND_ERROR;
  auto registration = find_registration(*options.browser);
  if (!registration) refuse(NOT_FOUND, not_found, "no registration");
  std::wstring manifest_path = nm::widen(registration->second);
  auto bytes = nm::read_file_bytes(manifest_path);
  if (!bytes) {
    refuse(NOT_FOUND, not_found, "cannot read " + registration->second);
  }
  nm::ManifestCheck check =
      firefox ? nm::check_firefox_manifest(*bytes, nm::HOST_NAME,
                                           nm::System::Windows)
              : nm::check_manifest(*bytes, nm::HOST_NAME, nm::System::Windows);
  if (!check.browser_accepts()) {
    refuse(NOT_FOUND, not_found, check.problems.front().what);
  }
  std::wstring program =
      nm::resolve_host_path(manifest_path, nm::widen(check.manifest->path));
  if (firefox) {
    if (!lists(check.manifest->allowed_extensions, options.extension)) {
      refuse(NOT_FOUND, not_found, options.extension + " not allowed");
    }
    return {program, {registration->second, options.extension}};
  }
  if (!lists(check.manifest->allowed_origins, options.origin)) {
    refuse(FORBIDDEN, nm::FORBIDDEN_ERROR, options.origin);
  }
  return {program, {options.origin}};
}

struct Pump {
  HANDLE from;
  HANDLE to;
  bool close_target_at_end;
  // Looked at once the input has ended, before the host's input ends too.
  const std::string* console_shows = nullptr;
  DWORD console_process = 0;
};

void report_console(const Pump& pipe) {
  ConsoleView view = wait_for_console_text(
      pipe.console_process, *pipe.console_shows, CONSOLE_WAIT_MS);
  std::fprintf(stderr, "%s\n%s\n",
               view.shown ? "console showed:" : "console never showed:",
               view.tail.c_str());
  std::fflush(stderr);
}

DWORD WINAPI pump(void* context) {
  Pump* pipe = static_cast<Pump*>(context);
  char buffer[65536];
  for (;;) {
    DWORD got = nm::read_handle(pipe->from, buffer, sizeof buffer);
    if (got == 0 || !nm::write_handle(pipe->to, buffer, got)) break;
  }
  if (pipe->console_shows != nullptr) report_console(*pipe);
  if (pipe->close_target_at_end) CloseHandle(pipe->to);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::optional<Options> options = parse(argc, argv);
  if (!options) {
    std::fputs(
        "usage: chrome_launcher --browser NAME [--origin ORIGIN] "
        "[--mode cmd|direct] [--stderr parent|null|invalid|console] "
        "[--console-shows TEXT]\n",
        stderr);
    return 2;
  }
  HostToStart start = host_to_start(*options);
  nm::LaunchMode mode = options->browser->family == nm::Family::Firefox
                            ? nm::LaunchMode::Firefox
                            : options->mode;
  auto host = nm::start_host(start.program, start.arguments, mode,
                             options->error_stream, CONNECT_MS);
  if (!host) refuse(FAILED_TO_START, nm::FAILED_TO_START_ERROR, host.error());

  Pump to_host{GetStdHandle(STD_INPUT_HANDLE), host->to_host, true};
  if (!options->console_shows.empty()) {
    to_host.console_shows = &options->console_shows;
    to_host.console_process = host->process_id;
  }
  Pump from_host{host->from_host, GetStdHandle(STD_OUTPUT_HANDLE), false};
  HANDLE writer = CreateThread(nullptr, 0, pump, &to_host, 0, nullptr);
  pump(&from_host);
  // The host has closed its output: it is ending. Waiting for the writer
  // too would hang on input that nobody closes.
  WaitForSingleObject(host->process, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(host->process, &status);
  (void)writer;
  return static_cast<int>(status);
}
