#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "platform/io_error.h"
#include "platform/windows/win32.h"

namespace tavorin {

// One of the system's TCP tables (IPv4 or IPv6) with the process that owns
// each row, read through the IP Helper library. The library is loaded from
// System32 when the first table is read, never from the program's folder,
// and is no import of the program.
template <typename Table>
class TcpTable {
 public:
  using Row = std::remove_cvref_t<decltype(Table::table[0])>;

  std::span<const Row> rows() const {
    if (buffer.empty()) return {};
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    return {&table->table[0], table->dwNumEntries};
  }

  std::vector<DWORD> buffer;
};

using Tcp4Table = TcpTable<MIB_TCPTABLE_OWNER_PID>;
using Tcp6Table = TcpTable<MIB_TCP6TABLE_OWNER_PID>;

Result<Tcp4Table> read_tcp4_table(TCP_TABLE_CLASS table_class);
Result<Tcp6Table> read_tcp6_table(TCP_TABLE_CLASS table_class);

// The owning process of the row for the app's end of the connection from
// `host_end` to `app_end`: the row whose local end is the app's and whose
// remote end is the host's. A row in TIME_WAIT, which no process owns any
// more, is passed over. In the IPv6 table the ends are IPv4-mapped: there
// an app listening on both families holds an IPv4 connection.
std::optional<std::uint32_t> app_end_process(
    std::span<const MIB_TCPROW_OWNER_PID> rows, const sockaddr_in& host_end,
    const sockaddr_in& app_end);
std::optional<std::uint32_t> app_end_process(
    std::span<const MIB_TCP6ROW_OWNER_PID> rows, const sockaddr_in& host_end,
    const sockaddr_in& app_end);

// The owning process of the app's end of the connected IPv4 socket, from
// the tables of connections: 0 when the system does not say.
Result<std::uint32_t> app_end_process(SOCKET socket);

}  // namespace tavorin
