#pragma once

#include <span>
#include <vector>

#include "check.h"
#include "registration.h"

namespace tavorin::doctor {

// What an administrator's policy makes of the host in each browser: hosts
// registered for the user ignored, or the host on a block list.
std::vector<Check> check_policies(
    std::span<const BrowserRegistration> registrations);

}  // namespace tavorin::doctor
