#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "browsers.h"
#include "check.h"
#include "report.h"
#include "windows/registry.h"

// The rules that turn what tavorin_windows_check measured into ✓, ✗ or
// "not measured": no system call here, so that the rules run in the unit
// tests on any system.
namespace tavorin::windows_check {

using doctor::Check;
using doctor::make_check;

// The middle value (the mean of the two middle ones); 0 for none.
double median(std::vector<double> values);

// Milliseconds as a figure to read and send back: "0.214 ms", "12.3 ms",
// "2034 ms".
std::string milliseconds_text(double milliseconds);

// A check that cannot be answered where it runs: it counts as ok, shows a
// dash, and says why on its first line.
void mark_not_measured(Check& check, std::string_view why);

// Why every check that Wine cannot answer says so.
inline constexpr std::string_view NOT_MEASURABLE_UNDER_WINE =
    "not measurable under Wine";

// The whole run: ok when no check failed; one line that counts them.
doctor::Report summarize(std::vector<Check> checks);

// --- The log's cost on a console -------------------------------------------

inline constexpr std::array<std::size_t, 3> LOG_COST_SIZES = {64, 65536,
                                                              1048576};

// One kind of standard error and the median round trip at each size.
struct LogCostRow {
  std::string stream;  // "a new hidden console", "a pipe", "NUL"
  std::array<double, LOG_COST_SIZES.size()> median_ms{};
};

// The medians as a table, then each row's ratio to the last one (the
// cheapest standard error there is).
std::string log_cost_table(std::span<const LogCostRow> rows);

// --- Refused loopback connects ---------------------------------------------

// A connect that nobody answers must fail at once with the request to skip
// the SYN retries; without it Windows sends the SYN again for about 2 s.
inline constexpr double REFUSED_CONNECT_LIMIT_MS = 500;
// Five attempts one second apart, five refused ports each: the four pauses
// and some slack, far below the ~50 s that retried SYNs would take.
inline constexpr double HOST_ALL_FAILED_LIMIT_MS = 10000;

struct RefusedConnects {
  std::optional<double> without_request_ms;
  std::optional<double> with_request_ms;
  std::string request_error;  // the system refused the request itself
  std::optional<double> host_all_failed_ms;
  std::string host_problem;  // why the host's figure is missing
};
Check judge_refused_connects(const RefusedConnects& measured);

// --- Registry views --------------------------------------------------------

// A key written in one view of a hive, and which views then see it.
struct ViewSight {
  bool machine = false;
  std::string key;  // below the hive, as RegistryPlace names it
  bool written_in_32_bit_view = false;
  bool seen_by_32_bit_view = false;
  bool seen_by_64_bit_view = false;
};

// The places one browser reads, in its order, for the key's name that the
// sights were written with.
struct BrowserPlaces {
  const native_messaging::Browser* browser = nullptr;
  std::vector<native_messaging::RegistryPlace> places;
};

// Every browser must find what the installers write: keys in the 64-bit
// view, of HKCU (the script) and HKLM (the MSI, /machine).
Check judge_registry_views(std::span<const ViewSight> sights,
                           std::span<const BrowserPlaces> browsers);

// --- The default terminal --------------------------------------------------

// A top-level window that became visible while the host ran.
struct SeenWindow {
  std::string class_name;
  std::string program;
};

// What was seen decides; the doctor's reading of the registry stands
// beside it, and a disagreement between the two is said.
Check judge_default_terminal(const Check& doctor_judgement,
                             std::span<const SeenWindow> new_windows);

// --- The MSI ---------------------------------------------------------------

// Windows Installer's exit codes that mean success: done, and done with a
// restart needed to replace or remove a file in use.
inline constexpr unsigned long MSI_SUCCESS = 0;
inline constexpr unsigned long MSI_RESTART_REQUIRED = 3010;

struct MsiStep {
  std::string what;  // "install 0.4.4", "upgrade to 0.4.5 while a host runs"
  std::optional<unsigned long> exit_code;  // none: msiexec did not run
};

struct MsiRun {
  std::vector<MsiStep> steps;
  // Each running host's account: relayed before and after its step.
  std::vector<std::string> hosts;
  bool hosts_kept_relaying = true;
  // What the uninstall left: files and keys, and what Windows will remove
  // at the next restart (which is expected after 3010).
  std::vector<std::string> remains;
  std::vector<std::string> removed_at_restart;
};
Check judge_msi(const MsiRun& run);

}  // namespace tavorin::windows_check
