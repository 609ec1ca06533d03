#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "platform/platform.h"
#include "platform/windows/win32.h"

namespace tavorin {

// The bytes of a UTF-8 character that a console write cut off; the next
// write to the same console completes it.
struct ConsoleCarry {
  std::array<char, 4> bytes{};
  std::size_t size = 0;
};

// What console input has read but the caller had no room for yet, and
// whether the next read starts a line (where Ctrl+Z ends the input).
struct ConsoleInputState {
  std::string pending;
  std::size_t taken = 0;
  bool at_line_start = true;
};

// The host on 64-bit Windows, through kernel32, ntdll and ws2_32 only.
class WindowsPlatform final : public Platform {
 public:
  std::string temp_directory() override;
  bool path_exists(std::string_view path) override;
  Result<std::string> read_text_file(std::string_view path,
                                     std::size_t limit) override;
  Status write_file(std::string_view path, std::string_view content) override;
  std::optional<std::uint64_t> unix_time_seconds() override;
  void sleep_for(std::chrono::nanoseconds duration) override;
  Result<SocketHandle> open_tcp_socket() override;
  Status skip_connect_retries(SocketHandle socket) override;
  Status connect_loopback(SocketHandle socket, std::uint16_t port) override;
  Status check_listener_owner(SocketHandle socket) override;
  Status set_receive_timeout(SocketHandle socket,
                             std::chrono::milliseconds timeout) override;
  Status set_no_delay(SocketHandle socket) override;
  Result<SocketHandle> duplicate_socket(SocketHandle socket) override;
  Result<std::size_t> send(SocketHandle socket,
                           std::string_view bytes) override;
  Result<std::size_t> receive(SocketHandle socket,
                              std::span<char> buffer) override;
  void close_socket(SocketHandle socket) override;
  Result<std::size_t> read_stdin(std::span<char> buffer) override;
  Result<std::size_t> write_stdout(std::string_view bytes) override;
  Result<std::size_t> write_stderr(std::string_view bytes) override;
  void* resize_block(void* block, std::size_t size) override;
  void free_block(void* block) override;
  std::string system_message(std::int32_t code) override;
  [[noreturn]] void terminate_process(int status) override;

 private:
  void start_sockets_once();
  Result<std::size_t> read_input(std::span<char> buffer);
  Result<std::size_t> read_console(HANDLE console, std::span<char> buffer);
  Status fill_console_input(HANDLE console);

  bool sockets_started_ = false;
  ConsoleCarry stdout_carry_;
  ConsoleCarry stderr_carry_;
  ConsoleInputState console_input_;
};

}  // namespace tavorin
