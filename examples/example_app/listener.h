#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavorin::example {

// The app's network side, one file per system (listener_posix.cpp,
// listener_windows.cpp): a listener on 127.0.0.1 and the connections it
// accepts, each served on a thread of its own.
using Socket = std::uintptr_t;

// Readies the system's sockets; false when they cannot be used.
bool start_networking();

// Listens on 127.0.0.1 at the port (0: one the system picks) and says
// which port it got. A fixed port is usable again at once after the
// previous app left.
std::optional<Socket> listen_on_loopback(std::uint16_t port,
                                         std::uint16_t& bound_port);

// The next connection; nothing when the listener fails.
std::optional<Socket> accept_connection(Socket listener);

// Receives what has arrived: the count of bytes, 0 at the end of the
// stream, less than 0 on a failure.
long receive_some(Socket connection, char* buffer, std::size_t size);

// Sends all bytes; false when the connection fails.
bool send_all(Socket connection, std::string_view bytes);

// Ends the app's side of the connection the orderly way: the host sees the
// end of the stream at its next read.
void end_sending(Socket connection);

void close_connection(Socket connection);

// Runs the work on a thread of its own; false when none can be started.
bool run_in_background(void (*work)(void*), void* argument);

void sleep_ms(int ms);

// The system's last error, for the messages of the app.
std::string last_error_text();

}  // namespace tavorin::example
