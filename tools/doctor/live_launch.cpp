#include "live_launch.h"

#include <chrono>

#include "host_process.h"
#include "launch_verdict.h"

namespace tavorin::doctor {

namespace {

// Long enough for a host that retries a lock file nobody answers for (five
// attempts a second apart); a host still running after it is stuck.
constexpr std::chrono::seconds LAUNCH_LIMIT{10};

}  // namespace

Check check_live_launch(const std::optional<HostToStart>& host) {
  if (!host) {
    Check check = make_check("live_launch", "Live launch of the host",
                             "skipped: no browser has a valid registration, "
                             "so there is no host to start");
    check.fix = "fix the registration and manifest checks above first";
    return check;
  }
  return judge_live_launch(run_host_as_browser(*host, LAUNCH_LIMIT));
}

}  // namespace tavorin::doctor
