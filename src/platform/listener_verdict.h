#pragma once

#include <cstdint>

#include "platform/io_error.h"

namespace tavorin {

// What a system that names the process behind a connection, rather than its
// user, tells of the app's end of the host's connection.
enum class ListenerOwner : std::uint8_t {
  // The system names no process: its table says process 0.
  Unnamed,
  // The process's token names the host's own user, in any session, elevated
  // or not.
  OurUser,
  // The process's token names the machine's own account (SYSTEM).
  System,
  // The process's token names another user.
  AnotherUser,
  // Windows withholds the process or its token for lack of rights, and the
  // process runs in the host's own session.
  RefusedInOurSession,
  // Windows withholds the process or its token for lack of rights, and the
  // process runs in another session, or its session cannot be told.
  RefusedElsewhere,
  // The process is gone, or the system failed to tell for another reason.
  Unknown,
};

// Whether the browser's messages may go to that end: nothing when they may,
// FOREIGN_LISTENER_ERROR when they may not, a failed lookup included.
Status judge_listener_owner(const Result<ListenerOwner>& owner);

}  // namespace tavorin
