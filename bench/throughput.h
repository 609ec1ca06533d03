#pragma once

#include <string>

#include "relay.h"

namespace bench {

// Messages per second through one host process when the browser sends
// `count` messages without waiting for answers, as a busy extension does,
// and reads the answers as they come.
double messages_per_second(const Relay& relay, const std::string& directory,
                           const std::string& message, int count);

}  // namespace bench
