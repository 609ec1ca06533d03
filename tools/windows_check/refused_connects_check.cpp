#include <winsock2.h>

#include "checks.h"
#include "embedded_files.h"
#include "host_session.h"
#include "judgements.h"
#include "log/error_text.h"
#include "loopback_port.h"
#include "platform/windows/windows_platform.h"

namespace tavorin::windows_check {

namespace {

namespace nm = native_messaging;

constexpr std::uint16_t FIRST_FALLBACK_PORT = 7878;
constexpr std::uint16_t LAST_FALLBACK_PORT = 7882;
constexpr std::string_view ALL_FAILED = "All connection attempts failed";
// Far beyond the ~50 s that retried SYNs would cost the host.
constexpr DWORD HOST_WAIT_MS = 120000;
constexpr DWORD END_MS = 10000;
constexpr std::string_view PORTS_BUSY = "something answers on ";

// One connect through the host's own platform layer, timed; nothing when
// it did not fail as a refused connect must.
struct TimedConnect {
  std::optional<double> ms;
  std::string problem;
  bool connected = false;
};

TimedConnect time_refused_connect(WindowsPlatform& os, std::uint16_t port,
                                  bool skip_retries) {
  auto socket = os.open_tcp_socket();
  if (!socket) return {std::nullopt, error_text(os, socket.error())};
  TimedConnect timed;
  if (skip_retries) {
    if (auto asked = os.skip_connect_retries(*socket); !asked) {
      timed.problem = error_text(os, asked.error());
      os.close_socket(*socket);
      return timed;
    }
  }
  Stopwatch clock;
  auto connected = os.connect_loopback(*socket, port);
  double elapsed = clock.elapsed_ms();
  os.close_socket(*socket);
  if (connected) {
    timed.problem = "the connect succeeded";
    timed.connected = true;
  } else {
    timed.ms = elapsed;
  }
  return timed;
}

// The fallback ports where something answers: the host's time to give up
// means nothing while one does. Where the system refuses the request, a
// free port costs the SYN retries.
std::string busy_fallback_ports(WindowsPlatform& os) {
  std::string busy;
  for (std::uint16_t port = FIRST_FALLBACK_PORT; port <= LAST_FALLBACK_PORT;
       ++port) {
    TimedConnect probe = time_refused_connect(os, port, true);
    if (!probe.ms && !probe.connected) {
      probe = time_refused_connect(os, port, false);
    }
    if (probe.connected) {
      busy += (busy.empty() ? "" : ", ") + std::to_string(port);
    }
  }
  return busy;
}

// The host with a lock file, no port file and nothing listening: its time
// from the start to "All connection attempts failed", or why there is none.
void time_host_giving_up(Context& context, RefusedConnects& measured) {
  if (std::string busy = busy_fallback_ports(context.os); !busy.empty()) {
    measured.host_problem = std::string(PORTS_BUSY) + busy;
    return;
  }
  auto folder = context.scratch.make_folder(L"refused");
  auto app_folder = context.scratch.make_folder(L"refused app");
  if (!folder || !app_folder) {
    measured.host_problem = folder ? app_folder.error() : folder.error();
    return;
  }
  std::wstring host = *folder + L"tavorin_shim.exe";
  std::wstring lock = *app_folder + L"tavorin_app_instance.lock";
  HANDLE lock_file = CreateFileW(lock.c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (lock_file != INVALID_HANDLE_VALUE) CloseHandle(lock_file);
  if (auto placed = place_host(context.options.host, host); !placed) {
    measured.host_problem = placed.error();
    return;
  }
  TemporaryFolderForHosts temp(*app_folder);
  std::vector<std::string> arguments = {TEST_ORIGIN};
  auto session = HostSession::start(host, arguments, nm::LaunchMode::Direct,
                                    nm::ErrorStream::Pipe);
  if (!session) {
    measured.host_problem = "the host did not start: " + session.error();
    return;
  }
  measured.host_all_failed_ms =
      (*session)->wait_for_log(ALL_FAILED, HOST_WAIT_MS);
  auto status = (*session)->finish(END_MS);
  if (!measured.host_all_failed_ms) {
    measured.host_problem = "the host never logged \"" +
                            std::string(ALL_FAILED) + "\"; its log:\n" +
                            (*session)->log();
  } else if (!status || *status != 1) {
    measured.host_problem = "the host did not end with status 1";
    measured.host_all_failed_ms.reset();
  }
}

}  // namespace

Check check_refused_connects(Context& context) {
  RefusedConnects measured;
  LoopbackPort refusing(LoopbackPort::Kind::Refusing);
  if (refusing.port() != 0) {
    TimedConnect without =
        time_refused_connect(context.os, refusing.port(), false);
    TimedConnect with = time_refused_connect(context.os, refusing.port(), true);
    measured.without_request_ms = without.ms;
    measured.with_request_ms = with.ms;
    measured.request_error = with.problem;
  } else {
    measured.request_error = "no port of 127.0.0.1 could be bound";
  }
  time_host_giving_up(context, measured);
  Check check = judge_refused_connects(measured);
  // Under Wine the host's part still counts: it shows the host giving up.
  bool host_failed = !measured.host_all_failed_ms &&
                     !measured.host_problem.starts_with(PORTS_BUSY);
  if (context.wine && !host_failed) {
    mark_not_measured(check,
                      std::string(NOT_MEASURABLE_UNDER_WINE) +
                          ": Wine refuses a loopback connect at once, with "
                          "or without the request; Windows sends the SYN "
                          "again for about 2 s unless asked not to");
  }
  return check;
}

}  // namespace tavorin::windows_check
