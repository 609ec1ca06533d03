#include "platform/windows/process_user.h"

#include "platform/windows/nt_api.h"
#include "platform/windows/owned_handle.h"
#include "platform/windows/process_session.h"

namespace tavorin {

namespace {

// The least the question asks for, which is what lets a browser that is not
// elevated recognise the same user's elevated app. Opening a process's token
// takes only PROCESS_QUERY_LIMITED_INFORMATION on the process, a right that
// a process of higher integrity does not withhold from one of lower
// integrity (PROCESS_QUERY_INFORMATION it does withhold); Windows lets a
// process that is not elevated open an elevated process's token when both
// run as the same account; and TokenUser takes only TOKEN_QUERY, a read
// right. Elevation gives the user a second token with more rights, not
// another user: both name the same user SID.
constexpr DWORD PROCESS_RIGHTS = PROCESS_QUERY_LIMITED_INFORMATION;
constexpr ACCESS_MASK TOKEN_RIGHTS = TOKEN_QUERY;

// Why a token could not be read: for lack of rights, or anything else.
enum class TokenFailure : std::uint8_t { Refused, Other };

TokenFailure token_failure(nt::Status status) {
  return status == nt::STATUS_ACCESS_DENIED_CODE ? TokenFailure::Refused
                                                 : TokenFailure::Other;
}

// The user SID of the process's token.
std::expected<UserSid, TokenFailure> token_user(HANDLE process) {
  HANDLE token = nullptr;
  nt::Status opened = NtOpenProcessToken(process, TOKEN_RIGHTS, &token);
  if (!nt::succeeded(opened)) return std::unexpected(token_failure(opened));
  OwnedHandle owned_token(token);
  alignas(TOKEN_USER)
      std::array<std::byte, sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE>
          buffer{};
  ULONG length = 0;
  nt::Status queried =
      NtQueryInformationToken(token, TokenUser, buffer.data(),
                              static_cast<ULONG>(buffer.size()), &length);
  if (!nt::succeeded(queried)) return std::unexpected(token_failure(queried));
  const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
  UserSid sid;
  if (!nt::succeeded(RtlCopySid(static_cast<ULONG>(sid.bytes.size()), sid.get(),
                                user->User.Sid))) {
    return std::unexpected(TokenFailure::Other);
  }
  return sid;
}

// A process withheld for lack of rights is judged by its session, which the
// system's process list gives without opening the process.
ListenerOwner withheld_process(std::uint32_t id) {
  std::optional<bool> ours = runs_in_our_session(id);
  return ours.value_or(false) ? ListenerOwner::RefusedInOurSession
                              : ListenerOwner::RefusedElsewhere;
}

// S-1-5-18, the local system account.
bool is_local_system(UserSid& user) {
  SID system{};
  system.Revision = SID_REVISION;
  system.SubAuthorityCount = 1;
  system.IdentifierAuthority.Value[5] = 5;  // SECURITY_NT_AUTHORITY
  system.SubAuthority[0] = SECURITY_LOCAL_SYSTEM_RID;
  return RtlEqualSid(user.get(), &system) != FALSE;
}

}  // namespace

// OpenProcess says ERROR_ACCESS_DENIED for a process it withholds and
// ERROR_INVALID_PARAMETER for an id that no process has.
std::expected<UserSid, ListenerOwner> user_of_process(std::uint32_t id) {
  OwnedHandle process(OpenProcess(PROCESS_RIGHTS, FALSE, id));
  if (!process.is_open()) {
    if (GetLastError() != ERROR_ACCESS_DENIED) {
      return std::unexpected(ListenerOwner::Unknown);
    }
    return std::unexpected(withheld_process(id));
  }
  std::expected<UserSid, TokenFailure> user = token_user(process.get());
  if (user) return *user;
  if (user.error() == TokenFailure::Other) {
    return std::unexpected(ListenerOwner::Unknown);
  }
  return std::unexpected(withheld_process(id));
}

std::optional<UserSid> own_user() {
  std::expected<UserSid, TokenFailure> user = token_user(GetCurrentProcess());
  if (!user) return std::nullopt;
  return *user;
}

// The user SID names the account whatever the session or the elevation, so
// the same user's app in another session or elevated is ours; the logon
// SID would differ there.
ListenerOwner owner_of_process(std::uint32_t id) {
  std::expected<UserSid, ListenerOwner> theirs = user_of_process(id);
  if (!theirs) return theirs.error();
  std::optional<UserSid> ours = own_user();
  if (!ours) return ListenerOwner::Unknown;
  if (RtlEqualSid(theirs->get(), ours->get())) return ListenerOwner::OurUser;
  return is_local_system(*theirs) ? ListenerOwner::System
                                  : ListenerOwner::AnotherUser;
}

}  // namespace tavorin
