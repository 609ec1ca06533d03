#pragma once

#include <string>

#include "platform/io_error.h"

namespace tavorin {

class Platform;

// How an I/O error reads in the log: a system error shows the system's
// message and its code, every other form its message (or, kind-only, the
// kind's description).
std::string error_text(Platform& os, const IoError& error);

}  // namespace tavorin
