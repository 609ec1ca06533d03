#pragma once

#include <string>
#include <string_view>

namespace tavorin {

class Platform;

// A file of the host in the per-user temporary directory, resolved afresh:
// one backslash between the two unless the directory already ends in a
// separator.
std::string temp_file_path(Platform& os, std::string_view file_name);

std::string join_path(std::string_view directory, std::string_view file_name);

}  // namespace tavorin
