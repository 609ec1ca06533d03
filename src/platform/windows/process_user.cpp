#include "platform/windows/process_user.h"

#include "platform/windows/nt_api.h"
#include "platform/windows/owned_handle.h"

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

// The user SID of the process's token.
std::optional<UserSid> token_user(HANDLE process) {
  HANDLE token = nullptr;
  if (!nt::succeeded(NtOpenProcessToken(process, TOKEN_RIGHTS, &token))) {
    return std::nullopt;
  }
  OwnedHandle owned_token(token);
  alignas(TOKEN_USER)
      std::array<std::byte, sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE>
          buffer{};
  ULONG length = 0;
  if (!nt::succeeded(NtQueryInformationToken(token, TokenUser, buffer.data(),
                                             static_cast<ULONG>(buffer.size()),
                                             &length))) {
    return std::nullopt;
  }
  const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
  UserSid sid;
  if (!nt::succeeded(RtlCopySid(static_cast<ULONG>(sid.bytes.size()), sid.get(),
                                user->User.Sid))) {
    return std::nullopt;
  }
  return sid;
}

}  // namespace

std::expected<UserSid, ListenerOwner> user_of_process(std::uint32_t id) {
  OwnedHandle process(OpenProcess(PROCESS_RIGHTS, FALSE, id));
  if (!process.is_open()) {
    return std::unexpected(ListenerOwner::ProcessRefused);
  }
  std::optional<UserSid> user = token_user(process.get());
  if (!user) return std::unexpected(ListenerOwner::TokenRefused);
  return *user;
}

std::optional<UserSid> own_user() { return token_user(GetCurrentProcess()); }

// The user SID names the account whatever the session or the elevation, so
// the same user's app in another session or elevated is ours; the logon
// SID would differ there.
ListenerOwner owner_of_process(std::uint32_t id) {
  std::expected<UserSid, ListenerOwner> theirs = user_of_process(id);
  if (!theirs) return theirs.error();
  std::optional<UserSid> ours = own_user();
  if (!ours) return ListenerOwner::TokenRefused;
  return RtlEqualSid(theirs->get(), ours->get()) ? ListenerOwner::OurUser
                                                 : ListenerOwner::AnotherUser;
}

}  // namespace tavorin
