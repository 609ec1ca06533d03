#pragma once

#include <cstdint>
#include <optional>

namespace tavorin {

// Whether the process with that id runs in this process's own session,
// told from the system's list of processes, which names every process's
// session without opening it; nothing when the process is not listed or the
// list cannot be read.
std::optional<bool> runs_in_our_session(std::uint32_t id);

// The session of the process with that id, from the same list.
std::optional<std::uint32_t> session_of_process(std::uint32_t id);

}  // namespace tavorin
