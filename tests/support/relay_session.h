#pragma once

#include "fake_platform.h"

namespace tavorin::testing {

// Runs the relay loop on the fake, over a connection the app has accepted:
// the set-up every relay test and fuzz target shares.
Status run_relay_session(FakePlatform& os);

}  // namespace tavorin::testing
