#include "host/launch_marker.h"

#include <optional>
#include <string>

#include "platform/platform.h"
#include "platform/temp_path.h"
#include "text/decimal.h"

namespace tavorin {

void write_launch_marker(Platform& os) {
  std::string path = temp_file_path(os, "shim_launched.txt");
  // A clock set before 1970 leaves no marker rather than stopping the host:
  // the marker is a diagnostic, never a reason to fail a launch.
  std::optional<std::uint64_t> seconds = os.unix_time_seconds();
  if (!seconds) return;
  std::string text = "Launched at ";
  text += Decimal(*seconds).view();
  (void)os.write_file(path, text);
}

}  // namespace tavorin
