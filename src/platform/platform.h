#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/io_error.h"
#include "platform/std_streams.h"

namespace tavorin {

// A socket of the backend: a SOCKET on Windows, a file descriptor on POSIX.
using SocketHandle = std::uintptr_t;

// The one seam between the host and the operating system. Every rule of the
// host reaches the OS only through here, so the whole host runs in unit tests
// against a scripted fake backend with no real file, socket or sleep.
//
// Paths and texts are UTF-8. A backend turns every failure into an IoError
// carrying the system's code and its kind.
class Platform {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  virtual ~Platform() = default;

  // The per-user temporary directory, asked afresh at every use and normally
  // ending in a path separator. A backend that cannot obtain it raises a
  // fatal error instead of returning.
  virtual std::string temp_directory() = 0;

  // True for an entry of any type, links followed, even one that another
  // process holds open without sharing. Every failure is "no". In a
  // directory that other users can write, an entry that another user (root
  // excepted) put there does not count: anyone can plant one.
  virtual bool path_exists(std::string_view path) = 0;

  // The content of a small regular file: opened without waiting on it, so a
  // FIFO or a device is refused rather than read, and at most `limit`
  // bytes; anything else fails with NOT_A_SMALL_FILE_ERROR, and so does, in
  // a directory other users can write, a file another user (root excepted)
  // owns. Bytes that are not UTF-8 give INVALID_UTF8_ERROR. A byte-order
  // mark stays in the text.
  virtual Result<std::string> read_text_file(std::string_view path,
                                             std::size_t limit) = 0;

  // Creates or empties the file, writes every byte and closes it. The file
  // is shared for reading, writing and deletion while it is open. Never
  // through a link, and never into anything but a regular file of the
  // host's own user: anything else fails and is left as it was.
  virtual Status write_file(std::string_view path,
                            std::string_view content) = 0;

  // Whole seconds since 1970-01-01 00:00:00 UTC, or nothing when the clock
  // reads earlier than that.
  virtual std::optional<std::uint64_t> unix_time_seconds() = 0;

  virtual void sleep_for(std::chrono::nanoseconds duration) = 0;

  // A new IPv4 TCP socket that no child process inherits. The first one
  // starts the system's sockets library.
  virtual Result<SocketHandle> open_tcp_socket() = 0;
  // Asks the system to report a refused connect at once instead of sending
  // the SYN again: Windows otherwise retries a refused loopback connect for
  // about two seconds. Systems that refuse at once need nothing here.
  virtual Status skip_connect_retries(SocketHandle socket) = 0;
  // A blocking connect to 127.0.0.1 on the port, with no name lookup and no
  // time limit of the host's.
  virtual Status connect_loopback(SocketHandle socket, std::uint16_t port) = 0;
  // Fails with FOREIGN_LISTENER_ERROR when the other end of the connection
  // belongs to another user of the machine (root excepted), or when the
  // system cannot tell whose it is: a listener planted on the app's port.
  // Where the system names the owning process, judge_listener_owner
  // (listener_verdict.h) decides, and a connection it names no process for
  // passes.
  virtual Status check_listener_owner(SocketHandle socket) = 0;
  virtual Status set_receive_timeout(SocketHandle socket,
                                     std::chrono::milliseconds timeout) = 0;
  virtual Status set_no_delay(SocketHandle socket) = 0;
  // A second, non-inheritable handle for the same connection, closed on its
  // own.
  virtual Result<SocketHandle> duplicate_socket(SocketHandle socket) = 0;
  virtual Result<std::size_t> send(SocketHandle socket,
                                   std::string_view bytes) = 0;
  // A send that the rest of the same line follows at once: where the system
  // can, the bytes wait for that rest, so that a short line leaves as one
  // segment and the app wakes once for it.
  virtual Result<std::size_t> send_part(SocketHandle socket,
                                        std::string_view bytes) {
    return send(socket, bytes);
  }
  // 0 bytes is the end of the stream, a connection shut down included.
  virtual Result<std::size_t> receive(SocketHandle socket,
                                      std::span<char> buffer) = 0;
  virtual void close_socket(SocketHandle socket) = 0;

  // The raw standard streams, fetched afresh at every call. A missing stream
  // reads as end of input and takes every write. Standard input that ends
  // (closed pipe included) reads 0 bytes.
  virtual Result<std::size_t> read_stdin(std::span<char> buffer) = 0;
  virtual Result<std::size_t> write_stdout(std::string_view bytes) = 0;
  virtual Result<std::size_t> write_stderr(std::string_view bytes) = 0;

  // Several pieces in order, in one system write where the system can, so
  // that a frame or a log line costs one wake-up of the reader. Returns the
  // count of bytes taken, which may end inside any piece.
  virtual Result<std::size_t> write_stdout_pieces(
      std::span<const std::string_view> pieces);
  virtual Result<std::size_t> write_stderr_pieces(
      std::span<const std::string_view> pieces);

  // Memory the host can do without, for an answer of any size: like
  // realloc, null (the old block untouched) when the system has none to
  // give, so that the caller reports it instead of stopping at once.
  virtual void* resize_block(void* block, std::size_t size) = 0;
  virtual void free_block(void* block) = 0;

  // The system's text for an error code, never failing.
  virtual std::string system_message(std::int32_t code) = 0;

  // Ends the process at once with the status; nothing is flushed.
  [[noreturn]] virtual void terminate_process(int status) = 0;

  // Standard input and output through their buffers. Standard error has no
  // buffer: write_stderr goes straight to the system.
  StdinReader& standard_input() { return stdin_; }
  StdoutWriter& standard_output() { return stdout_; }

  // Flushes standard output (failures ignored) and ends the process.
  [[noreturn]] void exit_process(int status);

 private:
  StdinReader stdin_{*this};
  StdoutWriter stdout_{*this};
};

}  // namespace tavorin
