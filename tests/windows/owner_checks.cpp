#include "owner_checks.h"

#include <array>
#include <string>

#include "checks.h"
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

// Both ends of a loopback connection are in the table, the host's own
// first here: its row names the host, and only the app's end names the
// app. A closed connection of the same ends and a second client of the app
// name no one that matters.
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
}

// A listener of this process, reached as the host reaches the app: the
// connection's row is found, and the whole check lets it through. Windows
// names this process; Wine names process 0.
void the_table_lists_the_connection() {
  // The host's socket first: it starts Windows Sockets.
  WindowsPlatform os;
  Result<SocketHandle> handle = os.open_tcp_socket();
  CHECK(handle.has_value());
  if (!handle) return;
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = loopback(0);
  int size = sizeof address;
  CHECK(bind(listener, reinterpret_cast<sockaddr*>(&address), size) == 0);
  CHECK(listen(listener, 1) == 0);
  CHECK(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) ==
        0);
  CHECK(os.connect_loopback(*handle, ntohs(address.sin_port)).has_value());
  SOCKET accepted = accept(listener, nullptr, nullptr);
  Result<std::uint32_t> process = app_end_process(static_cast<SOCKET>(*handle));
  CHECK(process.has_value());
  CHECK(process && (*process == 0 || *process == GetCurrentProcessId()));
  CHECK(os.check_listener_owner(*handle).has_value());
  os.close_socket(*handle);
  closesocket(accepted);
  closesocket(listener);
}

// This process and a child of it are ours; a process that does not exist
// cannot be opened, and is not.
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
  TerminateProcess(child.hProcess, 0);
  WaitForSingleObject(child.hProcess, 30000);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  // The highest multiple of 4 a DWORD holds: no system hands it out as a
  // process id. (An ended child's id would do only once the system has let
  // go of the process, which takes Wine a while.)
  CHECK(owner_of_process(0xFFFFFFFC) == ListenerOwner::ProcessRefused);
}

}  // namespace

void listener_owner_pieces_work(const wchar_t* this_program) {
  the_apps_row_is_the_one_facing_the_host();
  the_table_lists_the_connection();
  the_token_names_our_user(this_program);
}

}  // namespace tavorin::windows_checks
