#pragma once

#include <string_view>

namespace tavorin {

class Platform;

// The desktop app's lock files in the temporary directory: a development
// instance keeps the first, a production instance the second.
inline constexpr std::string_view DEV_LOCK_FILE = "tavorin_dev_instance.lock";
inline constexpr std::string_view PROD_LOCK_FILE = "tavorin_app_instance.lock";

// True when the desktop app's development or production lock file is in the
// temporary directory. Logs what it found, or where it looked.
bool check_app_running(Platform& os);

}  // namespace tavorin
