#include "app_link/instance_detection.h"

#include <string>

#include "log/log.h"
#include "platform/platform.h"
#include "platform/temp_path.h"
#include "text/quoted_path.h"

namespace tavorin {

bool check_app_running(Platform& os) {
  const std::string directory = os.temp_directory();
  const std::string dev_lock = join_path(directory, DEV_LOCK_FILE);
  const std::string prod_lock = join_path(directory, PROD_LOCK_FILE);
  // Both are always looked at: the mode lines report every file present.
  const bool dev_present = os.path_exists(dev_lock);
  const bool prod_present = os.path_exists(prod_lock);

  if (dev_present || prod_present) {
    write_log_line(os, "Found lock file - app is running");
    if (dev_present) write_log_line(os, "Development mode detected");
    if (prod_present) write_log_line(os, "Production mode detected");
    return true;
  }
  write_log_line(os, "No lock file found - app not running");
  write_log_line(os, "Checked for dev lock: {}", quoted_form(dev_lock));
  write_log_line(os, "Checked for prod lock: {}", quoted_form(prod_lock));
  return false;
}

}  // namespace tavorin
