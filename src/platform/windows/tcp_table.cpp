#include "platform/windows/tcp_table.h"

#include <algorithm>
#include <array>

#include "platform/windows/error_codes.h"

namespace tavorin {

namespace {

using GetExtendedTcpTableFunction = DWORD(WINAPI*)(void* table, DWORD* size,
                                                   BOOL order, ULONG family,
                                                   TCP_TABLE_CLASS table_class,
                                                   ULONG reserved);

// Set on first use; the library then stays loaded until the process ends.
constinit GetExtendedTcpTableFunction get_extended_tcp_table = nullptr;

// Room for a few hundred rows at once: a table that fits takes one call
// instead of two (one to ask its size), and each call costs milliseconds
// under Wine. A larger one gets what it needs and room for rows that appear
// between asking the size and reading the table.
constexpr std::size_t FIRST_BYTES = 256 * sizeof(MIB_TCP6ROW_OWNER_PID);
constexpr std::size_t SPARE_BYTES = 64 * sizeof(MIB_TCP6ROW_OWNER_PID);
// A table that keeps outgrowing its buffer gives up after this many reads.
constexpr int MAX_READS = 8;

constexpr IoError NOT_IN_TABLE_ERROR = IoError::fixed(
    ErrorKind::NotFound, "the connection is not in the system's TCP tables");

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

// Unsorted: the host looks for one row, and sorting costs the system time.
Status read_into(std::vector<DWORD>& buffer, ULONG family,
                 TCP_TABLE_CLASS table_class) {
  Result<GetExtendedTcpTableFunction> get = find_get_extended_tcp_table();
  if (!get) return std::unexpected(get.error());
  buffer.resize(FIRST_BYTES / sizeof(DWORD));
  auto size = static_cast<DWORD>(FIRST_BYTES);
  for (int read = 0; read < MAX_READS; ++read) {
    DWORD result = (*get)(buffer.data(), &size, FALSE, family, table_class, 0);
    if (result == NO_ERROR) return {};
    if (result != ERROR_INSUFFICIENT_BUFFER) {
      return std::unexpected(windows_error(result));
    }
    buffer.resize((size + SPARE_BYTES) / sizeof(DWORD) + 1);
    size = static_cast<DWORD>(buffer.size() * sizeof(DWORD));
  }
  return std::unexpected(windows_error(ERROR_INSUFFICIENT_BUFFER));
}

template <typename Table>
Result<Table> read_table(ULONG family, TCP_TABLE_CLASS table_class) {
  Table table;
  if (Status read = read_into(table.buffer, family, table_class); !read) {
    return std::unexpected(read.error());
  }
  return table;
}

// A row's port is in network order in the low 16 bits; the high bits may
// hold anything.
std::uint16_t row_port(DWORD port) { return static_cast<std::uint16_t>(port); }

bool has_owner(DWORD state) {
  return state != MIB_TCP_STATE_TIME_WAIT && state != MIB_TCP_STATE_CLOSED &&
         state != MIB_TCP_STATE_DELETE_TCB;
}

// ::ffff:a.b.c.d, as the IPv6 table writes an IPv4 end.
bool is_mapped(const UCHAR (&address)[16], const sockaddr_in& end) {
  constexpr std::array<UCHAR, 12> PREFIX = {0, 0, 0, 0, 0,    0,
                                            0, 0, 0, 0, 0xFF, 0xFF};
  const auto* ipv4 = reinterpret_cast<const UCHAR*>(&end.sin_addr.s_addr);
  return std::equal(PREFIX.begin(), PREFIX.end(), address) &&
         std::equal(ipv4, ipv4 + 4, address + 12);
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

Result<Tcp4Table> read_tcp4_table(TCP_TABLE_CLASS table_class) {
  return read_table<Tcp4Table>(AF_INET, table_class);
}

Result<Tcp6Table> read_tcp6_table(TCP_TABLE_CLASS table_class) {
  return read_table<Tcp6Table>(AF_INET6, table_class);
}

std::optional<std::uint32_t> app_end_process(
    std::span<const MIB_TCPROW_OWNER_PID> rows, const sockaddr_in& host_end,
    const sockaddr_in& app_end) {
  for (const MIB_TCPROW_OWNER_PID& row : rows) {
    if (has_owner(row.dwState) && row.dwLocalAddr == app_end.sin_addr.s_addr &&
        row_port(row.dwLocalPort) == app_end.sin_port &&
        row.dwRemoteAddr == host_end.sin_addr.s_addr &&
        row_port(row.dwRemotePort) == host_end.sin_port) {
      return row.dwOwningPid;
    }
  }
  return std::nullopt;
}

std::optional<std::uint32_t> app_end_process(
    std::span<const MIB_TCP6ROW_OWNER_PID> rows, const sockaddr_in& host_end,
    const sockaddr_in& app_end) {
  for (const MIB_TCP6ROW_OWNER_PID& row : rows) {
    if (has_owner(row.dwState) && is_mapped(row.ucLocalAddr, app_end) &&
        row_port(row.dwLocalPort) == app_end.sin_port &&
        is_mapped(row.ucRemoteAddr, host_end) &&
        row_port(row.dwRemotePort) == host_end.sin_port) {
      return row.dwOwningPid;
    }
  }
  return std::nullopt;
}

// The connection's own row names the process that holds the app's end, the
// one that reads what the host sends, whichever of several listeners on the
// port took the connection. It is there before the connect returns: the
// app's end answered the connect from it. An app listening on IPv6 and IPv4
// at once may hold it in the IPv6 table, which is read only then.
Result<std::uint32_t> app_end_process(SOCKET socket) {
  Result<std::pair<sockaddr_in, sockaddr_in>> ends = both_ends(socket);
  if (!ends) return std::unexpected(ends.error());
  const auto& [host_end, app_end] = *ends;
  Result<Tcp4Table> ipv4 = read_tcp4_table(TCP_TABLE_OWNER_PID_CONNECTIONS);
  if (!ipv4) return std::unexpected(ipv4.error());
  if (auto process = app_end_process(ipv4->rows(), host_end, app_end)) {
    return *process;
  }
  Result<Tcp6Table> ipv6 = read_tcp6_table(TCP_TABLE_OWNER_PID_CONNECTIONS);
  if (!ipv6) return std::unexpected(ipv6.error());
  if (auto process = app_end_process(ipv6->rows(), host_end, app_end)) {
    return *process;
  }
  return std::unexpected(NOT_IN_TABLE_ERROR);
}

}  // namespace tavorin
