#include <windows.h>

#include "app_for_hosts.h"
#include "checks.h"
#include "child_process.h"
#include "host_session.h"
#include "judgements.h"
#include "relay.h"
#include "windows/registry.h"
#include "windows/wide.h"

namespace tavorin::windows_check {

namespace {

namespace nm = native_messaging;

constexpr DWORD MSIEXEC_MS = 300000;
constexpr DWORD END_MS = 10000;
// Where the package remembers its folder, and the value that says the
// product is installed.
constexpr const char* REMEMBERED = "SOFTWARE\\tavorin\\Tavorin browser host";
constexpr const char* SESSION_MANAGER =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

ProgramRun msiexec(const std::wstring& arguments, const std::wstring& log) {
  return run_program(
      L"msiexec.exe " + arguments + L" /qn /norestart /l*v \"" + log + L"\"",
      L"", MSIEXEC_MS);
}

MsiStep step(std::string what, const ProgramRun& run) {
  return {std::move(what), run.exit_code};
}

// A host started from the installed folder as Chrome starts it, relaying
// one message now and one after `during` has run.
class RunningHost {
 public:
  explicit RunningHost(const std::wstring& folder) {
    std::vector<std::string> arguments = {TEST_ORIGIN};
    auto started = HostSession::start(folder + L"tavorin_shim.exe", arguments,
                                      nm::LaunchMode::ThroughCmd,
                                      nm::ErrorStream::HiddenConsole);
    if (!started) {
      problem_ = "did not start: " + started.error();
      return;
    }
    session_ = std::move(*started);
    relay_once("before");
  }

  // After the step: another message, then the end of input.
  std::string account(const std::string& during) {
    if (problem_.empty()) relay_once("after " + during);
    if (problem_.empty()) {
      auto status = session_->finish(END_MS);
      if (!status || *status != 0) problem_ = "did not end with status 0";
    }
    return problem_.empty()
               ? "  a host running through the " + during +
                     ": relayed before and after it, then ended with status 0"
               : "  a host running through the " + during +
                     ": FAILED: " + problem_;
  }
  bool kept_relaying() const { return problem_.empty(); }

 private:
  void relay_once(const std::string& when) {
    std::vector<std::string> messages = {launch_messages()[0]};
    if (auto relayed = relay(*session_, messages); !relayed) {
      problem_ = when + ": " + relayed.error();
    }
  }
  std::unique_ptr<HostSession> session_;
  std::string problem_;
};

// The files still in the folder, and the keys of the package still there.
void look_for_remains(const std::wstring& folder, MsiRun& run) {
  auto pending =
      nm::registry_text(true, SESSION_MANAGER, "PendingFileRenameOperations");
  WIN32_FIND_DATAW entry{};
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      std::string path = nm::narrow(folder + name);
      bool scheduled =
          pending && pending->find(nm::narrow(name)) != std::string::npos;
      (scheduled ? run.removed_at_restart : run.remains).push_back(path);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  std::vector<std::string> keys = {REMEMBERED};
  for (const nm::Browser& browser : nm::BROWSERS) {
    keys.push_back(std::string(browser.registry_keys.front()) + "\\" +
                   std::string(nm::HOST_NAME));
  }
  for (const std::string& key : keys) {
    if (nm::registry_key_exists(true, key))
      run.remains.push_back("HKLM\\" + key);
  }
}

}  // namespace

Check check_msi(Context& context) {
  Check check = make_check("msi", "The MSI while a host runs", "");
  const auto& packages = context.options.msi_packages;
  if (context.wine) {
    mark_not_measured(check, std::string(NOT_MEASURABLE_UNDER_WINE) +
                                 ": its msiexec neither asks Restart Manager "
                                 "to close a running host nor schedules a "
                                 "replacement at the next restart");
    return check;
  }
  if (packages.empty()) {
    mark_not_measured(check,
                      "not run: give --msi PACKAGE (twice, an earlier then a "
                      "later version, for the upgrade too)");
    return check;
  }
  if (!context.elevated) {
    mark_not_measured(check,
                      "not run: installing for every user needs an "
                      "administrator's prompt");
    return check;
  }
  if (nm::registry_key_exists(true, REMEMBERED)) {
    mark_not_measured(check,
                      std::string("not run: the package is installed here "
                                  "already (HKLM\\") +
                          REMEMBERED + "); run it where it is not");
    return check;
  }
  auto folder = context.scratch.make_folder(L"msi install");
  auto logs = context.scratch.make_folder(L"msi logs");
  auto app_folder = context.scratch.make_folder(L"msi app");
  if (!folder || !logs || !app_folder) {
    check.detail = "a folder could not be made";
    return check;
  }
  auto app = start_app_for_hosts(*app_folder);
  if (!app) {
    check.detail = app.error();
    return check;
  }
  MsiRun run;
  std::wstring first = L"\"" + packages.front() + L"\"";
  run.steps.push_back(
      step("install " + nm::narrow(packages.front()),
           msiexec(L"/i " + first + L" INSTALLDIR=\"" + *folder + L"\"",
                   *logs + L"install.log")));
  if (packages.size() > 1) {
    RunningHost host(*folder);
    run.steps.push_back(step(
        "upgrade to " + nm::narrow(packages.back()) + " while a host runs",
        msiexec(L"/i \"" + packages.back() + L"\"", *logs + L"upgrade.log")));
    run.hosts.push_back(host.account("upgrade"));
    run.hosts_kept_relaying = host.kept_relaying();
  }
  {
    RunningHost host(*folder);
    run.steps.push_back(step(
        "uninstall while a host runs",
        msiexec(L"/x \"" + packages.back() + L"\"", *logs + L"uninstall.log")));
    run.hosts.push_back(host.account("uninstall"));
    run.hosts_kept_relaying = run.hosts_kept_relaying && host.kept_relaying();
  }
  look_for_remains(*folder, run);
  check = judge_msi(run);
  check.detail = "installed into " + nm::narrow(*folder) + "\n" + check.detail;
  return check;
}

}  // namespace tavorin::windows_check
