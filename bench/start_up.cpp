#include "start_up.h"

#include "child.h"
#include "clock.h"
#include "conversation.h"
#include "echo_app.h"
#include "fail.h"
#include "text_kinds.h"

namespace bench {

double first_answer_us(const Relay& relay, const std::string& directory) {
  const std::string message = json_text(TextKind::Ascii, 64);
  const Launch launch = launch_in(relay, directory);
  std::string answer;
  Clock::time_point start = Clock::now();
  Child host(launch);
  exchange(relay, host, message, answer);
  double elapsed = microseconds_between(start, Clock::now());
  check_answer(relay, answer, echo_answer(message));
  if (host.finish().status != 0) fail(relay.name + ": no exit status 0");
  return elapsed;
}

double not_running_exit_us(const Relay& relay, const std::string& directory) {
  const Launch launch = launch_in(relay, directory);
  Clock::time_point start = Clock::now();
  Child host(launch);
  // Input stays open: the relay must see for itself that there is no app.
  Exit exit = host.wait();
  double elapsed = microseconds_between(start, Clock::now());
  if (exit.status != 0) fail(relay.name + ": no exit status 0 without an app");
  return elapsed;
}

}  // namespace bench
