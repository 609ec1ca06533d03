#include "round_trips.h"

#include "child.h"
#include "clock.h"
#include "conversation.h"
#include "echo_app.h"
#include "fail.h"
#include "proc_status.h"
#include "text_kinds.h"

namespace bench {

namespace {

constexpr int WARM_UP_MESSAGES = 2;

}  // namespace

Session round_trip_session(const Relay& relay, const std::string& directory,
                           const std::string& message, int count) {
  const std::string first = json_text(TextKind::Ascii, 64);
  const std::string expected = echo_answer(message);
  std::string answer;
  Session session;
  Child host(launch_in(relay, directory));
  exchange(relay, host, first, answer);
  check_answer(relay, answer, echo_answer(first));
  session.idle_rss_kib = status_kib(host.pid(), "VmRSS");
  for (int i = 0; i < WARM_UP_MESSAGES; ++i) {
    exchange(relay, host, message, answer);
    check_answer(relay, answer, expected);
  }
  session.round_trips_us.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    Clock::time_point start = Clock::now();
    exchange(relay, host, message, answer);
    session.round_trips_us.push_back(microseconds_between(start, Clock::now()));
    check_answer(relay, answer, expected);
  }
  session.peak_kib = status_kib(host.pid(), "VmHWM");
  if (host.finish().status != 0) fail(relay.name + ": no exit status 0");
  return session;
}

}  // namespace bench
