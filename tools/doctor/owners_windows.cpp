#include "owners.h"

namespace tavorin::doctor {

// The Windows host checks no owner: the temporary directory is the user's
// own, so no file there is passed over for its owner.
std::optional<Owner> file_owner(const std::string&) { return std::nullopt; }

// Not looked up yet: GetExtendedTcpTable (TCP_TABLE_OWNER_PID_LISTENER)
// names the listener's process, and that process's token its user.
std::optional<Owner> listener_owner(Platform&, std::uint16_t) {
  return std::nullopt;
}

}  // namespace tavorin::doctor
