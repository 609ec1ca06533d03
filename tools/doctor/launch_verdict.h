#pragma once

#include "check.h"
#include "host_process.h"

namespace tavorin::doctor {

// The verdict on one run of the host: it passes when the host ends by
// itself with the normal end of a session that received no message, and
// wrote nothing for the browser. A failure's fix follows the host's log.
Check judge_live_launch(const HostRun& run);

}  // namespace tavorin::doctor
