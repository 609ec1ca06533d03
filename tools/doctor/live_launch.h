#pragma once

#include <optional>

#include "check.h"
#include "manifest_check.h"

namespace tavorin::doctor {

// The host started as the browser starts it, with its input closed at once:
// it must find the app, connect, see the end of input and end. Without a
// valid registration there is nothing to start, and the check says so.
Check check_live_launch(const std::optional<HostToStart>& host);

}  // namespace tavorin::doctor
