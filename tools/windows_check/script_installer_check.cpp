#include <windows.h>

#include <array>

#include "app_for_hosts.h"
#include "checks.h"
#include "child_process.h"
#include "embedded_files.h"
#include "host_session.h"
#include "judgements.h"
#include "manifest.h"
#include "relay.h"
#include "saved_key.h"
#include "windows/file_bytes.h"
#include "windows/launch.h"
#include "windows/registry.h"
#include "windows/wide.h"

namespace tavorin::windows_check {

namespace {

namespace nm = native_messaging;

constexpr DWORD SCRIPT_MS = 120000;
constexpr DWORD END_MS = 10000;
// What the script registers for /browser chromium (and Brave): one key,
// HKCU, 64-bit view.
constexpr const wchar_t* CHROMIUM_KEY =
    L"Software\\Chromium\\NativeMessagingHosts\\com.tavorin.desktop";
constexpr const char* MANIFEST = "com.tavorin.desktop.json";

// The script's folder and the host's folder differ, so that /path is
// needed and the manifest names the host by its full path; both hold
// letters outside ASCII and spaces (the script refuses a host's folder
// with &).
constexpr const wchar_t* SCRIPT_FOLDER = L"script \u00DC \u4E16\u754C";
constexpr const wchar_t* HOST_FOLDER = L"host folder \u00E9\u4E16";

// The argument orders that real cmd.exe treats differently: after a
// shift, %~dp0 is worked out from a quoted argument that took %0's place.
struct Order {
  const char* described;
  bool path_first;
};
constexpr std::array<Order, 2> ORDERS = {{
    {"/path \"...\" first", true},
    {"/path \"...\" last", false},
}};

std::wstring script_command(const Order& order, const std::wstring& host) {
  std::wstring path = L"/path \"" + host + L"\"";
  std::wstring rest = L"/browser chromium " + nm::widen(TEST_EXTENSION_ID);
  std::wstring arguments =
      order.path_first ? path + L" " + rest : rest + L" " + path;
  return L"cmd.exe /d /s /c \"install-windows.cmd " + arguments + L"\"";
}

std::string run_text(const ProgramRun& run) {
  if (!run.exit_code) return run.problem;
  return "exit code " + std::to_string(*run.exit_code);
}

// What the key and the manifest hold after an install, as the browser
// reads them; empty when they are right.
std::string registration_problem(const std::wstring& script_folder,
                                 const std::wstring& host) {
  auto value = nm::registry_string(false, nm::narrow(CHROMIUM_KEY), "");
  std::string expected = nm::narrow(script_folder) + MANIFEST;
  if (!value) return "no key HKCU\\" + nm::narrow(CHROMIUM_KEY);
  if (*value != expected) {
    return "the key names " + *value + ", not " + expected;
  }
  auto bytes = nm::read_file_bytes(nm::widen(expected));
  if (!bytes) return "no manifest at " + expected;
  nm::ManifestCheck manifest =
      nm::check_manifest(*bytes, nm::HOST_NAME, nm::System::Windows);
  if (!manifest.browser_accepts()) {
    return "the browser refuses the manifest: " +
           manifest.problems.front().what;
  }
  if (nm::resolve_host_path(nm::widen(expected),
                            nm::widen(manifest.manifest->path)) != host) {
    return "the manifest names " + manifest.manifest->path;
  }
  return "";
}

// The host the registration names, started as Chrome starts it, relays a
// message.
std::string relay_through_registration(const std::wstring& host) {
  std::vector<std::string> arguments = {TEST_ORIGIN};
  auto session = HostSession::start(host, arguments, nm::LaunchMode::ThroughCmd,
                                    nm::ErrorStream::HiddenConsole);
  if (!session) return "the host did not start: " + session.error();
  std::vector<std::string> messages = {launch_messages()[1]};
  if (auto relayed = relay(**session, messages); !relayed) {
    return relayed.error();
  }
  auto status = (*session)->finish(END_MS);
  if (!status || *status != 0) return "the host did not end with status 0";
  return "";
}

// One install and uninstall in one order: what it showed, or what failed.
std::expected<std::string, std::string> install_and_remove(
    const Order& order, const std::wstring& script_folder,
    const std::wstring& host_folder) {
  std::wstring host = host_folder + L"tavorin_shim.exe";
  DeleteFileW((script_folder + nm::widen(MANIFEST)).c_str());
  ProgramRun install =
      run_program(script_command(order, host), script_folder, SCRIPT_MS);
  if (install.exit_code != 0) {
    return std::unexpected("install: " + run_text(install) + "\n" +
                           install.output);
  }
  if (std::string problem = registration_problem(script_folder, host);
      !problem.empty()) {
    return std::unexpected("install: " + problem);
  }
  if (GetFileAttributesW((host_folder + nm::widen(MANIFEST)).c_str()) !=
      INVALID_FILE_ATTRIBUTES) {
    return std::unexpected(
        "install: a manifest was written beside the host: the script took "
        "its own folder from /path");
  }
  if (std::string problem = relay_through_registration(host);
      !problem.empty()) {
    return std::unexpected("relay through the registration: " + problem);
  }
  ProgramRun remove = run_program(
      L"cmd.exe /d /s /c \"install-windows.cmd /uninstall "
      L"/browser chromium\"",
      script_folder, SCRIPT_MS);
  if (remove.exit_code != 0) {
    return std::unexpected("uninstall: " + run_text(remove));
  }
  if (nm::registry_key_exists(false, nm::narrow(CHROMIUM_KEY))) {
    return std::unexpected("uninstall: the key is still there");
  }
  return "installed (exit code 0): the key names the manifest beside the "
         "script, the manifest names the host; a message relayed through "
         "them; uninstalled (exit code 0), the key gone";
}

}  // namespace

Check check_script_installer(Context& context) {
  Check check = make_check("script_installer", "The script installer", "");
  auto script_folder = context.scratch.make_folder(SCRIPT_FOLDER);
  auto host_folder = context.scratch.make_folder(HOST_FOLDER);
  auto app_folder = context.scratch.make_folder(L"installer app");
  if (!script_folder || !host_folder || !app_folder) {
    check.detail = "a folder could not be made";
    return check;
  }
  std::wstring script = *script_folder + L"install-windows.cmd";
  if (auto written = write_embedded(EmbeddedFile::Script, script); !written) {
    check.detail = written.error();
    return check;
  }
  auto placed = place_host_and_start_app(context, *host_folder, *app_folder);
  if (!placed) {
    check.detail = placed.error();
    return check;
  }
  SavedKey saved(HKEY_CURRENT_USER, CHROMIUM_KEY, KEY_WOW64_64KEY);
  check.detail = "install-windows.cmd in " + nm::narrow(*script_folder) +
                 ", /browser chromium, the host in " +
                 nm::narrow(*host_folder) + "\nHKCU\\" +
                 nm::narrow(CHROMIUM_KEY) + " before: " + saved.describe() +
                 " (put back afterwards)";
  check.ok = true;
  for (const Order& order : ORDERS) {
    auto outcome = install_and_remove(order, *script_folder, *host_folder);
    check.add_line(std::string(order.described) + ": " +
                   (outcome ? *outcome : "FAILED: " + outcome.error()));
    if (!outcome) check.ok = false;
  }
  bool restored = saved.restore();
  check.add_line(std::string("HKCU\\") + nm::narrow(CHROMIUM_KEY) + " " +
                 (restored
                      ? "put back as it was"
                      : "COULD NOT BE PUT BACK: it was " + saved.describe()));
  if (!restored) check.ok = false;
  if (context.wine) {
    check.add_line(
        "Wine's cmd.exe does not move %~dp0 with shift: the orders differ "
        "only on Windows");
  }
  if (!check.ok) check.fix = "send this output to the host's developers";
  return check;
}

}  // namespace tavorin::windows_check
