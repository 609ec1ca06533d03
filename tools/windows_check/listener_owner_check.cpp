#include <iphlpapi.h>
#include <windows.h>
#include <winsock2.h>

#include <memory>
#include <vector>

#include "checks.h"
#include "judgements.h"
#include "log/error_text.h"
#include "loopback_port.h"
#include "owner_answer.h"
#include "platform/windows/windows_platform.h"
#include "stopwatch.h"
#include "windows/wide.h"

namespace tavorin::windows_check {

namespace {

using native_messaging::narrow;

// A listener of another account, and whose it is.
struct ForeignListener {
  std::uint16_t port = 0;
  std::string account;
  std::string program;
};

std::vector<char> token_user(HANDLE process) {
  HANDLE token = nullptr;
  std::vector<char> user;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return user;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  user.resize(size);
  if (size == 0 ||
      !GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
    user.clear();
  }
  CloseHandle(token);
  return user;
}

PSID sid_of(std::vector<char>& user) {
  return reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
}

std::string account_name(PSID sid) {
  wchar_t name[256];
  wchar_t domain[256];
  DWORD name_size = 256;
  DWORD domain_size = 256;
  SID_NAME_USE use{};
  if (!LookupAccountSidW(nullptr, sid, name, &name_size, domain, &domain_size,
                         &use)) {
    return "an account this user cannot name";
  }
  return narrow(domain) + "\\" + narrow(name);
}

std::string program_of(HANDLE process) {
  wchar_t path[MAX_PATH];
  DWORD size = MAX_PATH;
  if (!QueryFullProcessImageNameW(process, 0, path, &size)) return "?";
  return narrow(std::wstring_view(path, size));
}

std::vector<MIB_TCPROW_OWNER_PID> loopback_listeners() {
  ULONG size = 0;
  GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET,
                      TCP_TABLE_OWNER_PID_LISTENER, 0);
  std::vector<char> table(size + 4096);
  size = static_cast<ULONG>(table.size());
  std::vector<MIB_TCPROW_OWNER_PID> rows;
  if (GetExtendedTcpTable(table.data(), &size, FALSE, AF_INET,
                          TCP_TABLE_OWNER_PID_LISTENER, 0) != NO_ERROR) {
    return rows;
  }
  auto* listing = reinterpret_cast<MIB_TCPTABLE_OWNER_PID*>(table.data());
  for (DWORD i = 0; i < listing->dwNumEntries; ++i) {
    const MIB_TCPROW_OWNER_PID& row = listing->table[i];
    // Reachable on 127.0.0.1: bound to every address or to that one.
    if (row.dwLocalAddr == 0 || row.dwLocalAddr == htonl(INADDR_LOOPBACK)) {
      rows.push_back(row);
    }
  }
  return rows;
}

// A listener on 127.0.0.1 whose program runs as another account than this
// one and not as SYSTEM (which the host may trust as a Linux host trusts
// root): a service's, such as the RPC endpoint mapper's on port 135.
std::optional<ForeignListener> find_foreign_listener() {
  HANDLE self = GetCurrentProcess();
  std::vector<char> mine = token_user(self);
  if (mine.empty()) return std::nullopt;
  for (const MIB_TCPROW_OWNER_PID& row : loopback_listeners()) {
    HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, row.dwOwningPid);
    if (process == nullptr) continue;
    std::vector<char> theirs = token_user(process);
    bool foreign = !theirs.empty() && !EqualSid(sid_of(theirs), sid_of(mine)) &&
                   !IsWellKnownSid(sid_of(theirs), WinLocalSystemSid);
    std::optional<ForeignListener> found;
    if (foreign) {
      found =
          ForeignListener{ntohs(static_cast<std::uint16_t>(row.dwLocalPort)),
                          account_name(sid_of(theirs)), program_of(process)};
    }
    CloseHandle(process);
    if (found) return found;
  }
  return std::nullopt;
}

}  // namespace

Check check_listener_owner(Context& context) {
  Check check = make_check("listener_owner", "Whose listener",
                           "the host's owner lookup (check_listener_owner):");
  LoopbackPort own(LoopbackPort::Kind::Listening);
  OwnerAnswer ours = ask_host(context.os, own.port());
  check.add_line("  a listener of this program's own on port " +
                 std::to_string(own.port()) + ": " + answer_text(ours));
  check.ok = ours.problem.empty() && ours.ours;
  if (context.wine) {
    check.add_line("  a listener of another user: " +
                   std::string(NOT_MEASURABLE_UNDER_WINE) +
                   ": every Wine process runs as the same user");
    if (!check.ok) check.fix = "send this output to the host's developers";
    return check;
  }
  std::optional<ForeignListener> foreign = find_foreign_listener();
  if (!foreign) {
    check.add_line(
        "  a listener of another user: not measured: none found on "
        "127.0.0.1 that this account may look at (an administrator's "
        "prompt sees the services' listeners)");
  } else {
    OwnerAnswer theirs = ask_host(context.os, foreign->port);
    check.add_line("  a listener of " + foreign->account + " (" +
                   foreign->program + ") on port " +
                   std::to_string(foreign->port) + ": " + answer_text(theirs));
    if (!theirs.problem.empty() || theirs.ours) check.ok = false;
  }
  if (!check.ok) {
    check.fix =
        "the host must take its own listener for the app and another "
        "account's for none: send this output to the host's developers";
  }
  return check;
}

}  // namespace tavorin::windows_check
