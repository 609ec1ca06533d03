#include "launch_verdict.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "log/log.h"

namespace tavorin::doctor {

namespace {

constexpr std::string_view CLEAN_END =
    "Chrome disconnected (EOF) after 0 messages";

// The log's lines, each without its line end (LF, or CRLF from Windows).
std::vector<std::string_view> lines_of(std::string_view log) {
  std::vector<std::string_view> lines;
  while (!log.empty()) {
    std::size_t end = log.find('\n');
    std::string_view line = log.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    log.remove_prefix(end + 1);
  }
  return lines;
}

bool has_log_line(std::string_view log, std::string_view text) {
  return std::ranges::any_of(lines_of(log), [&](std::string_view line) {
    return line.starts_with(LOG_PREFIX) &&
           line.substr(LOG_PREFIX.size()) == text;
  });
}

bool log_mentions(std::string_view log, std::string_view text) {
  return log.find(text) != std::string_view::npos;
}

std::string indented_log(std::string_view log) {
  if (log.empty()) return "\nits log: (empty)";
  std::string text = "\nits log:";
  for (std::string_view line : lines_of(log)) {
    text += "\n  " + std::string(line);
  }
  return text;
}

// The one action the host's own account points to, as the README's
// troubleshooting table reads it.
std::string fix_for(const HostRun& run) {
  if (run.timed_out) {
    return "the host did not end when its input closed; run it by hand "
           "(tavorin_shim < /dev/null, or < nul on Windows) and match its log "
           "with the README's Troubleshooting";
  }
  if (log_mentions(run.log, "No lock file found")) {
    return "start the Tavorin Desktop App (as this user), then run the "
           "doctor again";
  }
  if (log_mentions(run.log, "All connection attempts failed")) {
    return "the host found a lock file but no port answered: follow the fix "
           "of \"Desktop app reachable\"";
  }
  if (run.output_bytes > 0) {
    return "the program wrote to standard output without a message to answer: "
           "make sure the registered program is tavorin_shim";
  }
  if (run.log.empty()) {
    return "the program wrote no log: make sure the registered program is "
           "tavorin_shim and runs on this system (start it by hand)";
  }
  return "match the host's last log lines with the README's Troubleshooting";
}

}  // namespace

Check judge_live_launch(const HostRun& run) {
  Check check = make_check("live_launch", "Live launch of the host",
                           "started as the browser starts it: " + run.command);
  if (!run.start_error.empty()) {
    check.add_line("problem: " + run.start_error);
    check.fix = "the browser cannot start it either: install the host again";
    return check;
  }
  check.add_line(
      "its standard input closed at once, so no message "
      "reached the app");
  check.detail += indented_log(run.log);
  check.add_line(run.ending);
  if (run.output_bytes > 0) {
    check.add_line("it wrote " + std::to_string(run.output_bytes) +
                   " bytes to standard output, where the browser expects "
                   "only answers");
  }
  check.ok = !run.timed_out && run.output_bytes == 0 &&
             has_log_line(run.log, CLEAN_END);
  if (!check.ok) check.fix = fix_for(run);
  return check;
}

}  // namespace tavorin::doctor
