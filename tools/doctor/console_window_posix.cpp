#include "console_window.h"

namespace tavorin::doctor {

// A Linux browser starts the host with pipes and no terminal.
std::optional<Check> check_console_window(
    std::span<const native_messaging::Browser* const>) {
  return std::nullopt;
}

}  // namespace tavorin::doctor
