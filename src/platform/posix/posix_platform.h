#pragma once

#include "platform/platform.h"

namespace tavorin {

// The host on Linux: the same contract as on Windows, with the POSIX calls
// that match. The temporary directory is $TMPDIR (when set and not empty)
// or /tmp, always ending in a separator.
class PosixPlatform final : public Platform {
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
  Result<std::size_t> send_part(SocketHandle socket,
                                std::string_view bytes) override;
  Result<std::size_t> receive(SocketHandle socket,
                              std::span<char> buffer) override;
  void close_socket(SocketHandle socket) override;
  Result<std::size_t> read_stdin(std::span<char> buffer) override;
  Result<std::size_t> write_stdout(std::string_view bytes) override;
  Result<std::size_t> write_stderr(std::string_view bytes) override;
  Result<std::size_t> write_stdout_pieces(
      std::span<const std::string_view> pieces) override;
  Result<std::size_t> write_stderr_pieces(
      std::span<const std::string_view> pieces) override;
  void* resize_block(void* block, std::size_t size) override;
  void free_block(void* block) override;
  std::string system_message(std::int32_t code) override;
  [[noreturn]] void terminate_process(int status) override;
};

}  // namespace tavorin
