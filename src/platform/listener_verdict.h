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
  // The process's token names another user.
  AnotherUser,
  // The process cannot be opened: another user's, protected, or gone.
  ProcessRefused,
  // The process opened, but its token could not be read.
  TokenRefused,
};

// Whether the browser's messages may go to that end: nothing when they may,
// FOREIGN_LISTENER_ERROR when they may not. A lookup that failed comes as
// its error.
Status judge_listener_owner(const Result<ListenerOwner>& owner);

}  // namespace tavorin
