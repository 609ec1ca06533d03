#include "host/launch_marker.h"

#include <array>
#include <charconv>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "platform/temp_path.h"

namespace tavorin {

void write_launch_marker(Platform& os) {
  std::string path = temp_file_path(os, "shim_launched.txt");
  // A clock set before 1970 leaves no marker rather than stopping the host:
  // the marker is a diagnostic, never a reason to fail a launch.
  std::optional<std::uint64_t> seconds = os.unix_time_seconds();
  if (!seconds) return;
  std::array<char, 40> text{"Launched at "};
  constexpr std::size_t PREFIX = 12;
  auto [end, ec] =
      std::to_chars(text.data() + PREFIX, text.data() + text.size(), *seconds);
  (void)ec;
  (void)os.write_file(
      path, std::string_view(text.data(),
                             static_cast<std::size_t>(end - text.data())));
}

}  // namespace tavorin
