#include "platform/listener_verdict.h"
#include "platform/windows/process_user.h"
#include "platform/windows/tcp_table.h"
#include "platform/windows/windows_platform.h"

namespace tavorin {

namespace {

// What the system says of the process that holds the app's end.
Result<ListenerOwner> app_end_owner(SOCKET socket) {
  Result<std::uint32_t> process = app_end_process(socket);
  if (!process) return std::unexpected(process.error());
  if (*process == 0) return ListenerOwner::Unnamed;
  return owner_of_process(*process);
}

}  // namespace

// The temporary directory is the user's own here, yet the fallback ports
// are everyone's: on a terminal server another user's program can listen
// there first. Windows names the process behind a connection, not its
// user, so the process's token says whose it is.
Status WindowsPlatform::check_listener_owner(SocketHandle socket) {
  return judge_listener_owner(app_end_owner(static_cast<SOCKET>(socket)));
}

}  // namespace tavorin
