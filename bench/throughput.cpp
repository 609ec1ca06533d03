#include "throughput.h"

#include <thread>

#include "browser_side.h"
#include "child.h"
#include "clock.h"
#include "conversation.h"
#include "echo_app.h"
#include "fail.h"

namespace bench {

double messages_per_second(const Relay& relay, const std::string& directory,
                           const std::string& message, int count) {
  const std::size_t answer_size = echo_answer(message).size();
  std::string answer;
  Child host(launch_in(relay, directory));
  // The connection to the app is made before the clock starts.
  exchange(relay, host, message, answer);

  Clock::time_point start = Clock::now();
  std::thread sender([&] {
    for (int i = 0; i < count; ++i) send_frame(host.input(), message);
  });
  for (int i = 0; i < count; ++i) {
    receive_answer(relay, host, answer);
    if (answer.size() != answer_size) {
      fail(relay.name + ": an answer of the wrong size");
    }
  }
  double seconds = microseconds_between(start, Clock::now()) / 1e6;
  sender.join();
  if (host.finish().status != 0) fail(relay.name + ": no exit status 0");
  return static_cast<double>(count) / seconds;
}

}  // namespace bench
