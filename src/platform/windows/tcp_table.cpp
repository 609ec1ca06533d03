#include "platform/windows/tcp_table.h"

#include "platform/windows/error_codes.h"

namespace tavorin {

namespace {

using GetExtendedTcpTableFunction = DWORD(WINAPI*)(void* table, DWORD* size,
                                                   BOOL order, ULONG family,
                                                   TCP_TABLE_CLASS table_class,
                                                   ULONG reserved);

// Set on first use; the library then stays loaded until the process ends.
constinit GetExtendedTcpTableFunction get_extended_tcp_table = nullptr;

// Rows that may appear between asking the size and reading the table.
constexpr std::size_t SPARE_ROWS = 64;
// A table that keeps outgrowing its buffer gives up after this many reads.
constexpr int MAX_READS = 8;

constexpr IoError NOT_IN_TABLE_ERROR = IoError::fixed(
    ErrorKind::NotFound, "the connection is not in the system's TCP table");

Result<GetExtendedTcpTableFunction> find_get_extended_tcp_table() {
  if (get_extended_tcp_table != nullptr) return get_extended_tcp_table;
  HMODULE library =
      LoadLibraryExW(L"iphlpapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library == nullptr) return std::unexpected(last_error());
  FARPROC found = GetProcAddress(library, "GetExtendedTcpTable");
  if (found == nullptr) return std::unexpected(last_error());
  get_extended_tcp_table = reinterpret_cast<GetExtendedTcpTableFunction>(
      reinterpret_cast<void (*)()>(found));
  return get_extended_tcp_table;
}

// A row's port is in network order in the low 16 bits; the high bits may
// hold anything.
std::uint16_t row_port(DWORD port) { return static_cast<std::uint16_t>(port); }

bool has_owner(const MIB_TCPROW_OWNER_PID& row) {
  return row.dwState != MIB_TCP_STATE_TIME_WAIT &&
         row.dwState != MIB_TCP_STATE_CLOSED &&
         row.dwState != MIB_TCP_STATE_DELETE_TCB;
}

Result<std::pair<sockaddr_in, sockaddr_in>> both_ends(SOCKET socket) {
  sockaddr_in local{};
  sockaddr_in peer{};
  int size = sizeof local;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
    return std::unexpected(last_socket_error());
  }
  size = sizeof peer;
  if (getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &size) != 0) {
    return std::unexpected(last_socket_error());
  }
  return std::pair(local, peer);
}

}  // namespace

std::span<const MIB_TCPROW_OWNER_PID> TcpTable::rows() const {
  if (buffer_.empty()) return {};
  const auto* table =
      reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer_.data());
  return {&table->table[0], table->dwNumEntries};
}

// Unsorted: the host looks for one row, and sorting costs the system time.
Result<TcpTable> read_tcp_table(TCP_TABLE_CLASS table_class) {
  Result<GetExtendedTcpTableFunction> get = find_get_extended_tcp_table();
  if (!get) return std::unexpected(get.error());
  TcpTable table;
  DWORD size = 0;
  for (int read = 0; read < MAX_READS; ++read) {
    DWORD result =
        (*get)(table.buffer_.empty() ? nullptr : table.buffer_.data(), &size,
               FALSE, AF_INET, table_class, 0);
    if (result == NO_ERROR) return table;
    if (result != ERROR_INSUFFICIENT_BUFFER) {
      return std::unexpected(windows_error(result));
    }
    std::size_t bytes = size + SPARE_ROWS * sizeof(MIB_TCPROW_OWNER_PID);
    table.buffer_.resize(bytes / sizeof(DWORD) + 1);
    size = static_cast<DWORD>(table.buffer_.size() * sizeof(DWORD));
  }
  return std::unexpected(windows_error(ERROR_INSUFFICIENT_BUFFER));
}

std::optional<std::uint32_t> app_end_process(
    std::span<const MIB_TCPROW_OWNER_PID> rows, const sockaddr_in& host_end,
    const sockaddr_in& app_end) {
  for (const MIB_TCPROW_OWNER_PID& row : rows) {
    if (has_owner(row) && row.dwLocalAddr == app_end.sin_addr.s_addr &&
        row_port(row.dwLocalPort) == app_end.sin_port &&
        row.dwRemoteAddr == host_end.sin_addr.s_addr &&
        row_port(row.dwRemotePort) == host_end.sin_port) {
      return row.dwOwningPid;
    }
  }
  return std::nullopt;
}

// The connection's own row names the process that holds the app's end, the
// one that reads what the host sends, whichever of several listeners on the
// port took the connection. It is there before the connect returns: the
// app's end answered the connect from it.
Result<std::uint32_t> app_end_process(SOCKET socket) {
  Result<std::pair<sockaddr_in, sockaddr_in>> ends = both_ends(socket);
  if (!ends) return std::unexpected(ends.error());
  Result<TcpTable> table = read_tcp_table(TCP_TABLE_OWNER_PID_CONNECTIONS);
  if (!table) return std::unexpected(table.error());
  std::optional<std::uint32_t> process =
      app_end_process(table->rows(), ends->first, ends->second);
  if (!process) return std::unexpected(NOT_IN_TABLE_ERROR);
  return *process;
}

}  // namespace tavorin
