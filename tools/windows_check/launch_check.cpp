#include <array>

#include "app_for_hosts.h"
#include "checks.h"
#include "judgements.h"
#include "relay.h"
#include "windows/wide.h"

namespace tavorin::windows_check {

namespace {

namespace nm = native_messaging;

constexpr DWORD END_MS = 10000;
// A folder name cmd.exe could misread: a space, letters outside ASCII, &
// and %.
constexpr const wchar_t* HOST_FOLDER = L"J\u00FCrgen & 100% \u4E16\u754C";
constexpr std::string_view PROXY_ACTIVE = "Proxy mode active";

struct Way {
  nm::LaunchMode mode;
  nm::ErrorStream error_stream;
  const char* described;
};

constexpr std::array<Way, 3> WAYS = {{
    {nm::LaunchMode::ThroughCmd, nm::ErrorStream::HiddenConsole,
     "through %COMSPEC% /d /s /c with a new hidden console, as Chrome and "
     "Edge start it"},
    {nm::LaunchMode::Direct, nm::ErrorStream::HiddenConsole,
     "directly, as Chrome and Edge do under "
     "NativeHostsExecutablesLaunchDirectly"},
    {nm::LaunchMode::Firefox, nm::ErrorStream::Pipe,
     "directly as Firefox starts it: two arguments, no console, standard "
     "error a pipe"},
}};

std::string times_text(const std::vector<double>& times) {
  std::string text;
  for (double time : times) {
    text += (text.empty() ? "" : ", ") + milliseconds_text(time);
  }
  return text;
}

// One launch that relays every message: what it showed, or what failed.
std::expected<std::string, std::string> launch_and_relay(
    const std::wstring& host, const Way& way,
    std::span<const std::string> messages) {
  std::vector<std::string> arguments = {TEST_ORIGIN};
  if (way.mode == nm::LaunchMode::Firefox) {
    std::wstring folder = host.substr(0, host.find_last_of(L'\\') + 1);
    arguments = {nm::narrow(folder) + "com.tavorin.desktop.firefox.json",
                 FIREFOX_EXTENSION_ID};
  }
  Stopwatch since_start;
  auto session =
      HostSession::start(host, arguments, way.mode, way.error_stream);
  if (!session) return std::unexpected("did not start: " + session.error());
  auto times = relay(**session, messages.first(1));
  double first_answer = since_start.elapsed_ms();
  if (!times) return std::unexpected(times.error());
  auto rest = relay(**session, messages.subspan(1));
  if (!rest) return std::unexpected(rest.error());
  times->insert(times->end(), rest->begin(), rest->end());
  auto status = (*session)->finish(END_MS);
  if (!status) return std::unexpected(status.error());
  if (*status != 0) {
    return std::unexpected("exit status " + std::to_string(*status));
  }
  std::string seen =
      std::to_string(messages.size()) +
      " messages relayed both ways byte for byte; first answer " +
      milliseconds_text(first_answer) + " after the start; round trips " +
      times_text(*times) + "; exit status 0";
  if (way.error_stream == nm::ErrorStream::Pipe) {
    if ((*session)->log().find(PROXY_ACTIVE) == std::string::npos) {
      return std::unexpected("its log never reached the pipe");
    }
    seen += "; its log reached the pipe";
  }
  return seen;
}

}  // namespace

Check check_launch(Context& context) {
  Check check =
      make_check("launch", "Launch as each browser starts the host", "");
  auto folder = context.scratch.make_folder(HOST_FOLDER);
  auto app_folder = context.scratch.make_folder(L"app temp");
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
  std::vector<std::string> messages = launch_messages();
  check.detail = "host: " + native_messaging::narrow(host) +
                 "\nmessages: " + sizes_text(messages) +
                 ", each answered by the example app";
  check.ok = true;
  for (const Way& way : WAYS) {
    auto outcome = launch_and_relay(host, way, messages);
    check.add_line(std::string(way.described) + ":");
    check.add_line("  " + (outcome ? *outcome : "FAILED: " + outcome.error()));
    if (!outcome) check.ok = false;
  }
  if (!check.ok) {
    check.fix =
        "a browser would fail the same way: send this output to the host's "
        "developers";
  }
  return check;
}

}  // namespace tavorin::windows_check
