#include "platform/listener_verdict.h"

namespace tavorin {

// Users of one machine share 127.0.0.1: on a terminal server another user
// can listen on a fallback port before the app, or while the app restarts,
// and would then read every message of the browser. Only a process of the
// host's own user gets them; the same user's app counts wherever it runs,
// in another session or elevated, since its token names the same user.
//
// Process 0 is the idle process on Windows and owns no program's socket, so
// a table that names it says only that the system cannot tell. Wine names
// process 0 for every socket; there the port is used as it always was,
// which keeps every run under Wine meaningful and weakens nothing on
// Windows, which always names the process.
//
// Anything else the host cannot vouch for is not the app's: a process it may
// not open (another user's, as a rule), a token it may not read, a
// connection the system's table does not list.
Status judge_listener_owner(const Result<ListenerOwner>& owner) {
  if (!owner) return std::unexpected(FOREIGN_LISTENER_ERROR);
  switch (*owner) {
    case ListenerOwner::Unnamed:
    case ListenerOwner::OurUser: return {};
    case ListenerOwner::AnotherUser:
    case ListenerOwner::ProcessRefused:
    case ListenerOwner::TokenRefused: break;
  }
  return std::unexpected(FOREIGN_LISTENER_ERROR);
}

}  // namespace tavorin
