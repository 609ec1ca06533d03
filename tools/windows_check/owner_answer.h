#pragma once

#include <cstdint>
#include <string>

#include "platform/windows/windows_platform.h"

namespace tavorin::windows_check {

// The host's answer for a connection to the port: ours, or not ours, and
// how long the lookup took; or why it was not asked.
struct OwnerAnswer {
  bool ours = false;
  double ms = 0;
  std::string problem;
};

// Connects to the port on 127.0.0.1 and asks the host's own owner lookup.
OwnerAnswer ask_host(WindowsPlatform& os, std::uint16_t port);

// As the checks show it: "ours (the lookup took …)", "not ours (…)" or
// "not asked: …".
std::string answer_text(const OwnerAnswer& answer);

}  // namespace tavorin::windows_check
