#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/listener_verdict.h"
#include "platform/platform.h"

namespace tavorin::testing {

using Lines = std::vector<std::string>;

// A scripted backend: files, clock, sleeps, sockets and standard streams are
// plain data, and every call that matters is recorded, so a test states a
// whole run and then reads back what the host did.
class FakePlatform final : public Platform {
 public:
  FakePlatform() = default;
  ~FakePlatform() override;
  // --- files and directories
  std::string temp_dir = "C:\\Temp\\";
  std::set<std::string> existing_paths;
  std::map<std::string, Result<std::string>> readable_files;
  std::map<std::string, std::string> written_files;
  std::optional<IoError> write_file_error;

  // --- clock and sleep
  std::optional<std::uint64_t> clock_seconds = 1767225600;
  std::vector<std::chrono::nanoseconds> sleeps;

  // --- sockets. `accepts` decides each connect by port and by how many
  // sleeps have passed, which is how a test makes an app appear later.
  std::function<bool(std::uint16_t port)> accepts = [](std::uint16_t) {
    return false;
  };
  std::vector<std::uint16_t> connects;
  // Connects made on a socket whose SYN retries were not turned off first.
  int connects_with_retries = 0;
  std::optional<IoError> skip_retries_error;
  std::set<std::uint16_t> foreign_listeners;  // ports another user listens on
  // What a system that names processes, as Windows does, reports of the
  // app's end on each port; judged by the host's own rule.
  std::map<std::uint16_t, Result<ListenerOwner>> listener_owners;
  IoError refused = IoError::system(10061, ErrorKind::ConnectionRefused);
  std::optional<IoError> timeout_error;
  std::optional<IoError> duplicate_error;
  std::vector<std::chrono::milliseconds> receive_timeouts;
  bool no_delay_set = false;
  std::set<SocketHandle> open_sockets;
  int bad_closes = 0;  // sockets closed twice or never opened
  std::string sent_to_app;
  // Each send takes the next scripted result; when none is left, it takes
  // every byte.
  std::deque<Result<std::size_t>> send_script;
  // Each receive takes the next chunk or error; when none is left, the app
  // has closed the connection.
  std::deque<Result<std::string>> app_chunks;
  // Bytes the app sends without the fake holding them: each receive reports
  // as many as it is offered (up to what is left) and writes nothing, so an
  // answer of gigabytes costs no memory here. Taken before app_chunks.
  std::size_t phantom_answer_bytes = 0;
  // An app that stays connected and sends nothing more: once the scripted
  // chunks are used up, each receive times out.
  bool app_silent = false;
  // When set, the app answers each whole line it has received with this,
  // once the scripted chunks are used up.
  std::function<std::string(std::string_view line)> app_answers;

  // --- standard streams
  std::string stdin_data;
  std::size_t stdin_read_limit = SIZE_MAX;  // per read, to cut frames up
  std::optional<IoError> stdin_error;       // instead of end of input
  int stdin_interruptions = 0;              // reads that are interrupted first
  bool stdin_touched = false;
  std::string stdout_data;
  std::deque<Result<std::size_t>> stdout_script;
  std::string stderr_data;
  std::optional<IoError> stderr_error;
  bool stderr_fails_once = false;  // the error goes after its first use

  // --- memory for answers. Blocks larger than the limit are refused; the
  // sizes asked for are recorded. Blocks beyond a few megabytes come from
  // one reservation that no page backs until it is written.
  std::size_t block_limit = SIZE_MAX;
  std::vector<std::size_t> block_sizes;
  // The memory held in blocks each time standard input is read.
  std::vector<std::size_t> block_bytes_at_stdin_reads;
  std::map<void*, std::size_t> live_blocks;

  std::map<std::int32_t, std::string> system_messages = {
      {10061,
       "No connection could be made because the target machine "
       "actively refused it."},
      {10060, "A connection attempt failed."},
  };

  // The log lines written so far, without prefix and line feed.
  Lines log_lines() const;

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
  SocketHandle next_socket_ = 100;
  std::set<SocketHandle> retries_skipped_;
  std::map<SocketHandle, std::uint16_t> connected_ports_;
  char* reservation_ = nullptr;
  void* reserved_block(std::size_t size);
  std::size_t app_read_position_ = 0;
  std::size_t stdin_position_ = 0;
};

// The last `count` lines, or all of them when there are fewer (and then a
// comparison with `count` expected lines fails by itself).
Lines last_lines(const Lines& lines, std::size_t count);

// A frame as Chrome writes it.
std::string frame(std::string_view payload);

// The frames on standard output, or nothing when a stray byte is there.
std::optional<Lines> frames_in(std::string_view output);

}  // namespace tavorin::testing
