#include "conversation.h"

#include "browser_side.h"
#include "fail.h"

namespace bench {

void receive_answer(const Relay& relay, const Child& host,
                    std::string& answer) {
  if (!receive_frame(host.output(), answer)) {
    fail(relay.name + ": ended before answering");
  }
}

void exchange(const Relay& relay, const Child& host, const std::string& message,
              std::string& answer) {
  send_frame(host.input(), message);
  receive_answer(relay, host, answer);
}

void check_answer(const Relay& relay, const std::string& answer,
                  const std::string& expected) {
  if (answer != expected) {
    fail(relay.name + ": the answer differs from the app's");
  }
}

}  // namespace bench
