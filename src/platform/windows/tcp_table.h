#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/io_error.h"
#include "platform/windows/win32.h"

namespace tavorin {

// The system's IPv4 TCP table with the process that owns each row, read
// through the IP Helper library. The library is loaded from System32 when
// the first table is read, never from the program's folder, and is no
// import of the program.
class TcpTable {
 public:
  std::span<const MIB_TCPROW_OWNER_PID> rows() const;

 private:
  friend Result<TcpTable> read_tcp_table(TCP_TABLE_CLASS table_class);
  std::vector<DWORD> buffer_;
};

Result<TcpTable> read_tcp_table(TCP_TABLE_CLASS table_class);

// The owning process of the row for the app's end of the connection from
// `host_end` to `app_end`: the row whose local end is the app's and whose
// remote end is the host's. A row in TIME_WAIT, which no process owns any
// more, is passed over.
std::optional<std::uint32_t> app_end_process(
    std::span<const MIB_TCPROW_OWNER_PID> rows, const sockaddr_in& host_end,
    const sockaddr_in& app_end);

// The owning process of the app's end of the connected socket, from the
// table of connections: 0 when the system does not say.
Result<std::uint32_t> app_end_process(SOCKET socket);

}  // namespace tavorin
