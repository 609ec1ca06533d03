#pragma once

#include <string>

namespace bench {

// Whether a program of that name is in PATH, as posix_spawnp would find it.
bool on_path(const std::string& name);

}  // namespace bench
