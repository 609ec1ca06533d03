#include "platform/listener_verdict.h"

namespace tavorin {

// Users of one machine share 127.0.0.1: on a terminal server another user
// can listen on a fallback port before the app, or while the app restarts,
// and would then read every message of the browser. Only a process of the
// host's own user gets them; the same user's app counts wherever it runs,
// in another session or elevated, since its token names the same user.
//
// The machine's own account counts as ours, as root does on Linux: it could
// read the host's messages anyway.
//
// Windows may withhold an elevated process or its token from a host that is
// not elevated (Administrator Protection runs elevated programs under an
// account of their own). The user's own app must never be refused for
// that, so a process withheld for lack of rights is the app when it runs in
// the host's own session, the desktop the browser and the app share; another
// user's program runs in that user's session.
//
// Process 0 is the idle process on Windows and owns no program's socket, so
// a table that names it says only that the system cannot tell. Wine names
// process 0 for every socket; there the port is used as it always was,
// which keeps every run under Wine meaningful and weakens nothing on
// Windows, which always names the process.
//
// Anything else the host cannot vouch for is not the app's: a process
// withheld in another session, one that is gone, a connection the system's
// table does not list.
Status judge_listener_owner(const Result<ListenerOwner>& owner) {
  if (!owner) return std::unexpected(FOREIGN_LISTENER_ERROR);
  switch (*owner) {
    case ListenerOwner::Unnamed:
    case ListenerOwner::OurUser:
    case ListenerOwner::System:
    case ListenerOwner::RefusedInOurSession: return {};
    case ListenerOwner::AnotherUser:
    case ListenerOwner::RefusedElsewhere:
    case ListenerOwner::Unknown: break;
  }
  return std::unexpected(FOREIGN_LISTENER_ERROR);
}

}  // namespace tavorin
