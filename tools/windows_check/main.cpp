// tavorin_windows_check: what only a real Windows can show about the host,
// measured on the machine it runs on. See options.h for the command line
// and docs/real-windows.md for how to read it.
#include <windows.h>
#include <winsock2.h>

#include <vector>

#include "checks.h"
#include "console.h"
#include "judgements.h"
#include "options.h"
#include "platform/windows/windows_platform.h"
#include "report.h"
#include "system_facts.h"
#include "windows/wide.h"

namespace {

namespace wc = tavorin::windows_check;

using CheckFunction = tavorin::doctor::Check (*)(wc::Context&);

// The cheap and harmless first, the installers last.
constexpr CheckFunction CHECKS[] = {
    wc::check_system,
    wc::check_launch,
    wc::check_log_cost,
    wc::check_refused_connects,
    wc::check_listener_owner,
    wc::check_elevated_app,
    wc::check_default_terminal,
    wc::check_registry_views,
    wc::check_script_installer,
    wc::check_msi,
};

// Every host this program starts, and what those start, ends with it,
// even when a check is cut short.
void end_children_with_this_program() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job == nullptr ||
      !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                               sizeof limits)) {
    return;
  }
  AssignProcessToJobObject(job, GetCurrentProcess());
  // The handle stays open until the process ends.
}

int run(const wc::Options& options) {
  WSADATA data{};
  WSAStartup(MAKEWORD(2, 2), &data);
  end_children_with_this_program();
  auto scratch = wc::ScratchFolder::create();
  if (!scratch) {
    tavorin::doctor::write_error("tavorin_windows_check: " + scratch.error() +
                                 "\n");
    return 1;
  }
  tavorin::WindowsPlatform os;
  wc::Context context{options, wc::wine_version(), wc::running_elevated(), os,
                      *scratch};
  std::vector<tavorin::doctor::Check> checks;
  for (CheckFunction check : CHECKS) {
    checks.push_back(check(context));
    if (!options.json) {
      tavorin::doctor::write_output(
          tavorin::doctor::render_check_text(checks.back()) + "\n");
    }
  }
  if (std::string left = scratch->remove(); !left.empty()) {
    tavorin::doctor::write_error("tavorin_windows_check: could not remove " +
                                 left + "\n");
  }
  tavorin::doctor::Report report = wc::summarize(std::move(checks));
  if (options.json) {
    tavorin::doctor::write_output(tavorin::doctor::render_json(report));
  } else {
    tavorin::doctor::write_output(
        std::string(report.ok ? "\u2713 " : "\u2717 ") + report.verdict + "\n");
  }
  return report.ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> arguments(argv + 1, argv + argc);
  auto options = wc::parse_options(arguments);
  if (!options) {
    tavorin::doctor::write_error("tavorin_windows_check: " + options.error() +
                                 "\n" + wc::USAGE);
    return 2;
  }
  if (options->help) {
    tavorin::doctor::write_output(wc::USAGE);
    return 0;
  }
  return run(*options);
}
