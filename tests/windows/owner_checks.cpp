#include "owner_checks.h"

#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "checks.h"
#include "platform/socket.h"
#include "platform/windows/process_session.h"
#include "platform/windows/process_user.h"
#include "platform/windows/tcp_table.h"
#include "platform/windows/windows_platform.h"

namespace tavorin::windows_checks {

namespace {

sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

MIB_TCPROW_OWNER_PID row(DWORD state, const sockaddr_in& local,
                         const sockaddr_in& remote, DWORD process) {
  // The high half of a port's DWORD may hold anything.
  return {state,
          local.sin_addr.s_addr,
          0xABCD0000u | local.sin_port,
          remote.sin_addr.s_addr,
          0x12340000u | remote.sin_port,
          process};
}

// The IPv6 row of an IPv4 connection: its ends as ::ffff:a.b.c.d, or as
// ::1 (`mapped` false), which is no IPv4 end.
MIB_TCP6ROW_OWNER_PID row6(DWORD state, const sockaddr_in& local,
                           const sockaddr_in& remote, DWORD process,
                           bool mapped = true) {
  MIB_TCP6ROW_OWNER_PID row{};
  for (auto [address, end] : {std::pair{row.ucLocalAddr, &local},
                              std::pair{row.ucRemoteAddr, &remote}}) {
    if (mapped) {
      address[10] = address[11] = 0xFF;
      std::memcpy(address + 12, &end->sin_addr.s_addr, 4);
    } else {
      address[15] = 1;
    }
  }
  row.dwLocalPort = local.sin_port;
  row.dwRemotePort = remote.sin_port;
  row.dwState = state;
  row.dwOwningPid = process;
  return row;
}

// Both ends of a loopback connection are in the table, the host's own
// first here: its row names the host, and only the app's end names the
// app. A closed connection of the same ends, a second client of the app and
// an IPv6 connection on the same ports name no one that matters.
void the_apps_row_is_the_one_facing_the_host() {
  sockaddr_in host = loopback(50123);
  sockaddr_in app = loopback(7878);
  sockaddr_in other_client = loopback(50124);
  const std::array rows = {
      row(MIB_TCP_STATE_LISTEN, app, loopback(0), 222),
      row(MIB_TCP_STATE_ESTAB, host, app, 111),
      row(MIB_TCP_STATE_TIME_WAIT, app, host, 0),
      row(MIB_TCP_STATE_ESTAB, app, other_client, 333),
      row(MIB_TCP_STATE_ESTAB, app, host, 222),
  };
  CHECK(app_end_process(rows, host, app) == 222u);
  CHECK(app_end_process(std::span(rows).first(4), host, app) == std::nullopt);
  const std::array rows6 = {
      row6(MIB_TCP_STATE_ESTAB, app, host, 444, false),
      row6(MIB_TCP_STATE_ESTAB, host, app, 111),
      row6(MIB_TCP_STATE_ESTAB, app, host, 222),
  };
  CHECK(app_end_process(rows6, host, app) == 222u);
  CHECK(app_end_process(std::span(rows6).first(2), host, app) == std::nullopt);
}

// The app's end of a connection to the listener, from the system's tables;
// the whole check lets the same connection through.
Result<std::uint32_t> app_end_of_connection_to(SOCKET listener,
                                               std::uint16_t port) {
  WindowsPlatform os;
  Result<SocketHandle> handle = os.open_tcp_socket();
  if (!handle) return std::unexpected(handle.error());
  Socket host_end(os, *handle);
  CHECK(os.connect_loopback(*handle, port).has_value());
  SOCKET accepted = accept(listener, nullptr, nullptr);
  Result<std::uint32_t> process = app_end_process(static_cast<SOCKET>(*handle));
  CHECK(os.check_listener_owner(*handle).has_value());
  closesocket(accepted);
  return process;
}

// A listener of this process on IPv4, and one on IPv6 that takes IPv4 too,
// reached as the host reaches the app. Windows names this process; Wine
// names process 0.
void the_tables_list_the_connection() {
  WSADATA data{};
  WSAStartup(0x0202, &data);
  SOCKET ipv4 = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = loopback(0);
  int size = sizeof address;
  CHECK(bind(ipv4, reinterpret_cast<sockaddr*>(&address), size) == 0);
  CHECK(getsockname(ipv4, reinterpret_cast<sockaddr*>(&address), &size) == 0);
  SOCKET both = socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
  DWORD ipv6_only = 0;
  setsockopt(both, IPPROTO_IPV6, IPV6_V6ONLY,
             reinterpret_cast<const char*>(&ipv6_only), sizeof ipv6_only);
  sockaddr_in6 any{};
  any.sin6_family = AF_INET6;
  int any_size = sizeof any;
  CHECK(bind(both, reinterpret_cast<sockaddr*>(&any), any_size) == 0);
  CHECK(getsockname(both, reinterpret_cast<sockaddr*>(&any), &any_size) == 0);
  for (auto [listener, port] :
       {std::pair{ipv4, address.sin_port}, std::pair{both, any.sin6_port}}) {
    CHECK(listen(listener, 1) == 0);
    Result<std::uint32_t> process =
        app_end_of_connection_to(listener, ntohs(port));
    CHECK(process.has_value());
    CHECK(process && (*process == 0 || *process == GetCurrentProcessId()));
    closesocket(listener);
  }
  WSACleanup();
}

// A terminal server's table has thousands of rows: one larger than the
// first read takes is read whole, and the row is found in it.
void a_table_larger_than_the_first_read_is_read_whole() {
  WSADATA data{};
  WSAStartup(0x0202, &data);
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = loopback(0);
  int size = sizeof address;
  bind(listener, reinterpret_cast<sockaddr*>(&address), size);
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
  listen(listener, SOMAXCONN);
  // Two rows each, past the few hundred rows the first read has room for.
  std::vector<SOCKET> ends;
  for (int i = 0; i < 400; ++i) {
    SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    connect(client, reinterpret_cast<sockaddr*>(&address), size);
    ends.push_back(client);
    ends.push_back(accept(listener, nullptr, nullptr));
  }
  Result<Tcp4Table> table = read_tcp4_table(TCP_TABLE_OWNER_PID_CONNECTIONS);
  CHECK(table && table->rows().size() >= ends.size());
  CHECK(app_end_process(ends[ends.size() - 2]).has_value());
  for (SOCKET end : ends) closesocket(end);
  closesocket(listener);
  WSACleanup();
}

// This process and a child of it are ours and share its session; a process
// that does not exist cannot be opened, is in no session, and is not ours.
void the_token_names_our_user(const wchar_t* this_program) {
  CHECK(own_user().has_value());
  CHECK(owner_of_process(GetCurrentProcessId()) == ListenerOwner::OurUser);
  std::wstring command = L"\"" + std::wstring(this_program) + L"\" --idle";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  CHECK(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                       CREATE_SUSPENDED, nullptr, nullptr, &startup, &child));
  if (child.hProcess == nullptr) return;
  CHECK(owner_of_process(child.dwProcessId) == ListenerOwner::OurUser);
  // The session comes from the system's list of processes, without opening
  // either process.
  CHECK(session_of_process(GetCurrentProcessId()).has_value());
  CHECK(session_of_process(child.dwProcessId) ==
        session_of_process(GetCurrentProcessId()));
  CHECK(runs_in_our_session(child.dwProcessId) == std::optional<bool>(true));
  TerminateProcess(child.hProcess, 0);
  WaitForSingleObject(child.hProcess, 30000);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  // The highest multiple of 4 a DWORD holds: no system hands it out as a
  // process id. (An ended child's id would do only once the system has let
  // go of the process, which takes Wine a while.)
  CHECK(owner_of_process(0xFFFFFFFC) == ListenerOwner::Unknown);
  CHECK(!runs_in_our_session(0xFFFFFFFC).has_value());
}

}  // namespace

void listener_owner_pieces_work(const wchar_t* this_program) {
  the_apps_row_is_the_one_facing_the_host();
  the_tables_list_the_connection();
  a_table_larger_than_the_first_read_is_read_whole();
  the_token_names_our_user(this_program);
}

}  // namespace tavorin::windows_checks
