#pragma once

#include <string>

#include "child.h"
#include "relay.h"

namespace bench {

// The relay's next answer; the benchmark fails if the relay ends first.
void receive_answer(const Relay& relay, const Child& host, std::string& answer);

// One message to the relay and its answer back.
void exchange(const Relay& relay, const Child& host, const std::string& message,
              std::string& answer);

// The benchmark fails if the answer is not what the app sent.
void check_answer(const Relay& relay, const std::string& answer,
                  const std::string& expected);

}  // namespace bench
