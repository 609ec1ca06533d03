#include "platform/windows/process_session.h"

#include <cstddef>
#include <vector>

#include "platform/windows/nt_api.h"

namespace tavorin {

namespace {

// The list grows while it is read when processes start meanwhile; a few
// tries with the size the system last asked for, plus room, always end.
constexpr int LIST_READ_TRIES = 4;
constexpr ULONG LIST_ROOM = 64 * 1024;

std::optional<std::vector<std::byte>> read_process_list() {
  ULONG wanted = 256 * 1024;
  for (int i = 0; i < LIST_READ_TRIES; ++i) {
    std::vector<std::byte> list(wanted);
    ULONG length = 0;
    nt::Status status = NtQuerySystemInformation(
        nt::SYSTEM_PROCESS_INFORMATION_CLASS, list.data(),
        static_cast<ULONG>(list.size()), &length);
    if (nt::succeeded(status)) return list;
    if (status != nt::STATUS_INFO_LENGTH_MISMATCH_CODE) return std::nullopt;
    wanted = (length > wanted ? length : wanted * 2) + LIST_ROOM;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> session_in(const std::vector<std::byte>& list,
                                        std::uint32_t id) {
  std::size_t offset = 0;
  while (offset + sizeof(nt::ProcessEntryHead) <= list.size()) {
    const auto* entry =
        reinterpret_cast<const nt::ProcessEntryHead*>(list.data() + offset);
    if (reinterpret_cast<std::uintptr_t>(entry->unique_process_id) == id) {
      return entry->session_id;
    }
    if (entry->next_entry_offset == 0) break;
    offset += entry->next_entry_offset;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::uint32_t> session_of_process(std::uint32_t id) {
  std::optional<std::vector<std::byte>> list = read_process_list();
  if (!list) return std::nullopt;
  return session_in(*list, id);
}

std::optional<bool> runs_in_our_session(std::uint32_t id) {
  std::optional<std::vector<std::byte>> list = read_process_list();
  if (!list) return std::nullopt;
  std::optional<std::uint32_t> theirs = session_in(*list, id);
  std::optional<std::uint32_t> ours = session_in(*list, GetCurrentProcessId());
  if (!theirs || !ours) return std::nullopt;
  return *theirs == *ours;
}

}  // namespace tavorin
