#include <array>

#include "app_for_hosts.h"
#include "checks.h"
#include "judgements.h"
#include "relay.h"

namespace tavorin::windows_check {

namespace {

namespace nm = native_messaging;

constexpr DWORD END_MS = 10000;
// Round trips at each of LOG_COST_SIZES: enough for a steady median on
// Windows; under Wine only enough to show that the measurement runs.
constexpr std::array<int, LOG_COST_SIZES.size()> COUNTS = {200, 50, 10};
constexpr std::array<int, LOG_COST_SIZES.size()> WINE_COUNTS = {10, 3, 2};

struct Stream {
  nm::ErrorStream error_stream;
  const char* described;
};

// The console first, the cheapest last: the table's ratios are to it.
constexpr std::array<Stream, 3> STREAMS = {{
    {nm::ErrorStream::HiddenConsole, "a new hidden console"},
    {nm::ErrorStream::Pipe, "a pipe"},
    {nm::ErrorStream::NulDevice, "NUL"},
}};

// One host started through cmd.exe with the given standard error: the
// median round trip at each size, after one round trip to warm up.
std::expected<LogCostRow, std::string> measure(
    const std::wstring& host, const Stream& stream,
    const std::array<int, LOG_COST_SIZES.size()>& counts) {
  std::vector<std::string> arguments = {TEST_ORIGIN};
  auto session = HostSession::start(host, arguments, nm::LaunchMode::ThroughCmd,
                                    stream.error_stream);
  if (!session) return std::unexpected("did not start: " + session.error());
  LogCostRow row{stream.described, {}};
  for (std::size_t i = 0; i < LOG_COST_SIZES.size(); ++i) {
    std::vector<std::string> messages(static_cast<std::size_t>(counts[i]) + 1,
                                      message_of_size(LOG_COST_SIZES[i]));
    auto times = relay(**session, messages);
    if (!times) return std::unexpected(times.error());
    times->erase(times->begin());
    row.median_ms[i] = median(*times);
  }
  auto status = (*session)->finish(END_MS);
  if (!status) return std::unexpected(status.error());
  return row;
}

}  // namespace

Check check_log_cost(Context& context) {
  Check check = make_check("log_cost", "The log's cost on a console", "");
  auto folder = context.scratch.make_folder(L"log cost");
  auto app_folder = context.scratch.make_folder(L"log cost app");
  if (!folder || !app_folder) {
    check.detail = folder ? app_folder.error() : folder.error();
    return check;
  }
  auto placed = place_host_and_start_app(context, *folder, *app_folder);
  if (!placed) {
    check.detail = placed.error();
    return check;
  }
  const std::wstring& host = placed->host;
  const auto& counts = context.wine ? WINE_COUNTS : COUNTS;
  check.detail =
      "the host through cmd.exe, its log (every message and answer in "
      "full) to each standard error in turn; round trips per size: " +
      std::to_string(counts[0]) + ", " + std::to_string(counts[1]) + ", " +
      std::to_string(counts[2]);
  std::vector<LogCostRow> rows;
  for (const Stream& stream : STREAMS) {
    auto row = measure(host, stream, counts);
    if (!row) {
      check.add_line(std::string("standard error ") + stream.described +
                     ": FAILED: " + row.error());
      check.fix = "send this output to the host's developers";
      return check;
    }
    rows.push_back(*row);
  }
  check.add_line(log_cost_table(rows));
  check.ok = true;
  if (context.wine) {
    mark_not_measured(check,
                      std::string(NOT_MEASURABLE_UNDER_WINE) +
                          ": these are Wine's console and pipes, not Windows' "
                          "console host (conhost.exe)");
  }
  return check;
}

}  // namespace tavorin::windows_check
