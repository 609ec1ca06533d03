#pragma once

#include <string>

#include "relay.h"

namespace bench {

// Microseconds from spawning the relay to the answer to its first message,
// with the app running: what one sendNativeMessage costs.
double first_answer_us(const Relay& relay, const std::string& directory);

// Microseconds from spawning the relay to its exit when the directory holds
// no sign of the app.
double not_running_exit_us(const Relay& relay, const std::string& directory);

}  // namespace bench
