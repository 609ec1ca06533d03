#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>

#include "platform/listener_verdict.h"
#include "platform/windows/win32.h"

namespace tavorin {

// The user a process runs as: the SID its token names, held by value.
struct UserSid {
  std::array<std::byte, SECURITY_MAX_SID_SIZE> bytes{};
  PSID get() { return bytes.data(); }
};

// The user of the process with that id, or why it cannot be told:
// RefusedInOurSession or RefusedElsewhere when Windows withholds the process
// or its token for lack of rights, Unknown when the process is gone or the
// lookup failed otherwise.
std::expected<UserSid, ListenerOwner> user_of_process(std::uint32_t id);

// The user this process runs as, or nothing when its own token cannot be
// read.
std::optional<UserSid> own_user();

// OurUser, System or AnotherUser by the process's user, else why it cannot
// be told.
ListenerOwner owner_of_process(std::uint32_t id);

}  // namespace tavorin
