#pragma once

#include <string>

namespace bench {

// How the report names a program: by its path in the repository when it
// lies inside it, else by its folder's name and its own, so that the
// figures carry no path of the machine they were taken on.
std::string shown_path(const std::string& path);

// The name of the folder that holds the program ("before" for
// .../before/tavorin_shim).
std::string folder_name(const std::string& path);

}  // namespace bench
