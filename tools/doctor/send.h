#pragma once

#include "options.h"

namespace tavorin {
class Platform;
}

namespace tavorin::doctor {

// --send: the messages go through the registered host as the chosen
// browser would send them, the answers are printed as text, then the
// host's log. 0 when every message got its answer.
int send_messages(Platform& os, const Options& options);

}  // namespace tavorin::doctor
