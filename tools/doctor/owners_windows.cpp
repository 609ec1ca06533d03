#include <algorithm>
#include <array>

#include "owners.h"
#include "platform/windows/nt_api.h"
#include "platform/windows/process_user.h"
#include "platform/windows/tcp_table.h"
#include "windows/wide.h"
// After the Windows headers, which it builds on.
#include <sddl.h>

namespace tavorin::doctor {

namespace {

using native_messaging::narrow;

constexpr DWORD LOOPBACK = 0x0100007F;  // 127.0.0.1 in network order

// The listener on the port that a connect to 127.0.0.1 reaches, as the
// system picks it: one bound to 127.0.0.1 before one bound to any address,
// and an IPv6 one (which may take IPv4 too) only when IPv4 has none.
std::optional<std::uint32_t> listening_process(std::uint16_t port) {
  std::uint16_t wanted = htons(port);
  std::optional<std::uint32_t> any_address;
  if (auto ipv4 = read_tcp4_table(TCP_TABLE_OWNER_PID_LISTENER)) {
    for (const MIB_TCPROW_OWNER_PID& row : ipv4->rows()) {
      if (static_cast<std::uint16_t>(row.dwLocalPort) != wanted) continue;
      if (row.dwLocalAddr == LOOPBACK) return row.dwOwningPid;
      if (row.dwLocalAddr == 0) any_address = row.dwOwningPid;
    }
  }
  if (any_address) return any_address;
  if (auto ipv6 = read_tcp6_table(TCP_TABLE_OWNER_PID_LISTENER)) {
    for (const MIB_TCP6ROW_OWNER_PID& row : ipv6->rows()) {
      constexpr std::array<UCHAR, 16> ANY{};
      if (static_cast<std::uint16_t>(row.dwLocalPort) == wanted &&
          std::equal(ANY.begin(), ANY.end(), row.ucLocalAddr)) {
        return row.dwOwningPid;
      }
    }
  }
  return std::nullopt;
}

// "S-1-5-21-…", or nothing when the system cannot write it.
std::string sid_text(PSID sid) {
  wchar_t* text = nullptr;
  if (ConvertSidToStringSidW(sid, &text) == 0) return {};
  std::string result = narrow(text);
  LocalFree(text);
  return result;
}

// "DOMAIN\name (S-1-5-21-…)", as the system names the account.
std::string account_name(PSID sid) {
  std::array<wchar_t, 256> name{};
  std::array<wchar_t, 256> domain{};
  auto name_size = static_cast<DWORD>(name.size());
  auto domain_size = static_cast<DWORD>(domain.size());
  SID_NAME_USE use{};
  std::string id = sid_text(sid);
  if (LookupAccountSidW(nullptr, sid, name.data(), &name_size, domain.data(),
                        &domain_size, &use) == 0) {
    return id.empty() ? "an account this system cannot name" : id;
  }
  std::string account = narrow(domain.data()) + "\\" + narrow(name.data());
  return id.empty() ? account : account + " (" + id + ")";
}

}  // namespace

// The Windows host checks no file's owner: the temporary directory is the
// user's own, so no file there is passed over for its owner.
std::optional<Owner> file_owner(const std::string&) { return std::nullopt; }

// The listener's process, from the system's table of listeners, and the
// user its token names, as the host tells them. Nothing when the system
// names no process (Wine names process 0) or the doctor may not read its
// token, which for another user's process is the rule unless the doctor
// runs as an administrator.
std::optional<Owner> listener_owner(Platform&, std::uint16_t port) {
  std::optional<std::uint32_t> process = listening_process(port);
  if (!process || *process == 0) return std::nullopt;
  auto user = user_of_process(*process);
  std::optional<UserSid> own = own_user();
  if (!user || !own) return std::nullopt;
  return Owner{account_name(user->get()),
               RtlEqualSid(user->get(), own->get()) == FALSE};
}

}  // namespace tavorin::doctor
