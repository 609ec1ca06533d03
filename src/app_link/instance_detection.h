#pragma once

namespace tavorin {

class Platform;

// True when the desktop app's development or production lock file is in the
// temporary directory. Logs what it found, or where it looked.
bool check_app_running(Platform& os);

}  // namespace tavorin
