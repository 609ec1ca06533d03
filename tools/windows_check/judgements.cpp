#include "judgements.h"

#include <algorithm>
#include <cstdio>

namespace tavorin::windows_check {

namespace {

std::string figure(double value, const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string padded(std::string text, std::size_t width) {
  if (text.size() < width) text.insert(0, width - text.size(), ' ');
  return text;
}

std::string size_name(std::size_t bytes) {
  if (bytes >= 1048576) return std::to_string(bytes / 1048576) + " MiB";
  if (bytes >= 1024) return std::to_string(bytes / 1024) + " KiB";
  return std::to_string(bytes) + " B";
}

std::string yes_no(bool value) { return value ? "yes" : "no"; }

std::string hive_of(bool machine) { return machine ? "HKLM" : "HKCU"; }

std::string view_of(bool view_32_bit) {
  return view_32_bit ? "32-bit view" : "64-bit view";
}

// Whether a browser reading these places finds a key of the hive that was
// written as the sight says.
bool finds(const BrowserPlaces& browser, const ViewSight& sight) {
  return std::ranges::any_of(
      browser.places, [&](const native_messaging::RegistryPlace& place) {
        return place.machine == sight.machine && place.key == sight.key &&
               (place.view_32_bit ? sight.seen_by_32_bit_view
                                  : sight.seen_by_64_bit_view);
      });
}

}  // namespace

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::ranges::sort(values);
  std::size_t middle = values.size() / 2;
  if (values.size() % 2 == 1) return values[middle];
  return (values[middle - 1] + values[middle]) / 2;
}

std::string milliseconds_text(double milliseconds) {
  if (milliseconds < 10) return figure(milliseconds, "%.3f ms");
  if (milliseconds < 100) return figure(milliseconds, "%.1f ms");
  return figure(milliseconds, "%.0f ms");
}

void mark_not_measured(Check& check, std::string_view why) {
  check.measured = false;
  check.ok = true;
  check.fix.clear();
  check.detail =
      std::string(why) + (check.detail.empty() ? "" : "\n" + check.detail);
}

doctor::Report summarize(std::vector<Check> checks) {
  std::size_t failed = 0;
  std::size_t unmeasured = 0;
  for (const Check& check : checks) {
    if (!check.ok) ++failed;
    if (!check.measured) ++unmeasured;
  }
  std::size_t passed = checks.size() - failed - unmeasured;
  doctor::Report report{std::move(checks), failed == 0, ""};
  report.verdict = std::to_string(passed) + " passed, " +
                   std::to_string(failed) + " failed, " +
                   std::to_string(unmeasured) + " not measured here";
  return report;
}

std::string log_cost_table(std::span<const LogCostRow> rows) {
  constexpr std::size_t LABEL = 36;
  constexpr std::size_t COLUMN = 10;
  std::string table = padded("", LABEL);
  for (std::size_t size : LOG_COST_SIZES) {
    table += padded(size_name(size), COLUMN);
  }
  table += "\nround trip, median (ms):";
  for (const LogCostRow& row : rows) {
    std::string label = "  standard error " + row.stream;
    table += "\n" + label + padded("", LABEL - std::min(LABEL, label.size()));
    for (double value : row.median_ms) {
      table += padded(figure(value, "%.3f"), COLUMN);
    }
  }
  if (rows.size() < 2) return table;
  const LogCostRow& base = rows.back();
  table += "\nratio to standard error " + base.stream + ":";
  for (const LogCostRow& row : rows.first(rows.size() - 1)) {
    std::string label = "  " + row.stream;
    table += "\n" + label + padded("", LABEL - std::min(LABEL, label.size()));
    for (std::size_t i = 0; i < LOG_COST_SIZES.size(); ++i) {
      double ratio =
          base.median_ms[i] > 0 ? row.median_ms[i] / base.median_ms[i] : 0;
      table += padded(figure(ratio, "%.2f"), COLUMN);
    }
  }
  return table;
}

Check judge_refused_connects(const RefusedConnects& measured) {
  Check check = make_check("refused_connects", "Refused loopback connects",
                           "one connect to a port of 127.0.0.1 that refuses:");
  auto line = [](const std::optional<double>& value) {
    return value ? milliseconds_text(*value) : std::string("not measured");
  };
  check.add_line("  without SIO_TCP_INITIAL_RTO: " +
                 line(measured.without_request_ms));
  check.add_line(
      "  with SIO_TCP_INITIAL_RTO (as the host asks): " +
      (measured.request_error.empty()
           ? line(measured.with_request_ms)
           : "the system refused the request: " + measured.request_error));
  check.add_line(
      "the host's time from its start to \"All connection attempts failed\" "
      "(lock file, no port file, 7878-7882 refusing): " +
      (measured.host_all_failed_ms
           ? milliseconds_text(*measured.host_all_failed_ms)
           : "not measured: " + measured.host_problem));
  bool fast_refusal = measured.request_error.empty() &&
                      measured.with_request_ms &&
                      *measured.with_request_ms <= REFUSED_CONNECT_LIMIT_MS;
  bool host_fast = !measured.host_all_failed_ms ||
                   *measured.host_all_failed_ms <= HOST_ALL_FAILED_LIMIT_MS;
  check.ok = fast_refusal && host_fast &&
             (measured.host_all_failed_ms || !measured.host_problem.empty());
  if (!check.ok) {
    check.fix = "a refused connect should fail within " +
                milliseconds_text(REFUSED_CONNECT_LIMIT_MS) +
                " and the host give up within " +
                milliseconds_text(HOST_ALL_FAILED_LIMIT_MS) +
                ": send this output with the Windows version to the host's "
                "developers";
  }
  return check;
}

Check judge_registry_views(std::span<const ViewSight> sights,
                           std::span<const BrowserPlaces> browsers) {
  Check check = make_check("registry_views", "Registry views",
                           "a key written, and the views that see it:");
  check.ok = true;
  for (const ViewSight& sight : sights) {
    check.add_line("  " + hive_of(sight.machine) + "\\" + sight.key +
                   ", written in the " + view_of(sight.written_in_32_bit_view) +
                   ": seen by the 32-bit view " +
                   yes_no(sight.seen_by_32_bit_view) + ", by the 64-bit view " +
                   yes_no(sight.seen_by_64_bit_view));
  }
  check.add_line(
      "what the installers write (64-bit view), found by each browser in "
      "its order:");
  for (const BrowserPlaces& browser : browsers) {
    std::string found;
    std::string missed;
    for (bool machine : {false, true}) {
      auto written = [&](const ViewSight& sight) {
        return sight.machine == machine && !sight.written_in_32_bit_view;
      };
      if (std::ranges::none_of(sights, written)) continue;
      bool found_here = std::ranges::any_of(sights, [&](const ViewSight& s) {
        return written(s) && finds(browser, s);
      });
      std::string& list = found_here ? found : missed;
      list += (list.empty() ? "" : ", ") + hive_of(machine);
    }
    check.add_line("  " + std::string(browser.browser->title) + ": " +
                   (found.empty() ? "nothing" : "found in " + found) +
                   (missed.empty() ? "" : "; not found in " + missed));
    if (!missed.empty()) check.ok = false;
  }
  if (!check.ok) {
    check.fix =
        "a browser does not read the view the installers write: send this "
        "output with the Windows version to the host's developers";
  }
  return check;
}

Check judge_default_terminal(const Check& doctor_judgement,
                             std::span<const SeenWindow> new_windows) {
  Check check = make_check("default_terminal", "The default terminal",
                           doctor_judgement.detail);
  check.add_line(
      "the host started through cmd.exe with a new hidden console, as Chrome "
      "starts it:");
  if (new_windows.empty()) {
    check.add_line("  no window became visible while it ran");
  }
  for (const SeenWindow& window : new_windows) {
    check.add_line("  a window became visible: class \"" + window.class_name +
                   "\" of " + window.program);
  }
  check.ok = new_windows.empty();
  if (check.ok != doctor_judgement.ok) {
    check.add_line(std::string("the doctor's reading of the registry says ") +
                   (doctor_judgement.ok ? "no window should show"
                                        : "a window should show") +
                   ": it disagrees with what was seen");
  }
  if (!check.ok) check.fix = doctor_judgement.fix;
  if (!check.ok && check.fix.empty()) {
    check.fix =
        "set the default terminal application to \"Windows Console Host\" "
        "(Settings > System > For developers > Terminal)";
  }
  return check;
}

Check judge_msi(const MsiRun& run) {
  Check check = make_check("msi", "The MSI while a host runs", "msiexec:");
  check.ok = true;
  for (const MsiStep& step : run.steps) {
    check.add_line("  " + step.what + ": " +
                   (step.exit_code
                        ? "exit code " + std::to_string(*step.exit_code)
                        : std::string("did not run")));
    bool success = step.exit_code && (*step.exit_code == MSI_SUCCESS ||
                                      *step.exit_code == MSI_RESTART_REQUIRED);
    if (!success) check.ok = false;
  }
  for (const std::string& host : run.hosts) check.add_line(host);
  if (!run.hosts_kept_relaying) check.ok = false;
  check.add_line("after the uninstall:");
  if (run.remains.empty() && run.removed_at_restart.empty()) {
    check.add_line("  nothing remains");
  }
  for (const std::string& left : run.remains) {
    check.add_line("  remains: " + left);
  }
  for (const std::string& left : run.removed_at_restart) {
    check.add_line("  removed at the next restart: " + left);
  }
  if (!run.remains.empty()) check.ok = false;
  if (!check.ok) {
    check.fix =
        "send this output and the msiexec logs named above to the host's "
        "developers";
  }
  return check;
}

}  // namespace tavorin::windows_check
