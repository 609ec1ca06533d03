#pragma once

#include <windows.h>

#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "stopwatch.h"
#include "windows/launch.h"

namespace tavorin::windows_check {

// One host started as a browser starts it (tools/native_messaging's
// start_host), played from the browser's side: frames in, frames out,
// every wait bounded.
class HostSession {
 public:
  static std::expected<std::unique_ptr<HostSession>, std::string> start(
      const std::wstring& program, std::span<const std::string> arguments,
      native_messaging::LaunchMode mode,
      native_messaging::ErrorStream error_stream);
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;
  // Ends the host, and what it started, if it still runs.
  ~HostSession();

  // Sends one message as a frame and reads the answer's frame: the
  // answer, or why none came within timeout_ms.
  std::expected<std::string, std::string> round_trip(std::string_view message,
                                                     DWORD timeout_ms);

  // Closes the host's input, as a closing port does, and waits for it to
  // end: its exit status (through cmd.exe, cmd's, which is the host's).
  std::expected<DWORD, std::string> finish(DWORD timeout_ms);

  // Whether it still runs.
  bool running() const;

  // For ErrorStream::Pipe: what the host has logged so far, and the time
  // from its start until the log first held `text`, waiting for it at most
  // timeout_ms.
  std::string log() const;
  std::optional<double> wait_for_log(std::string_view text, DWORD timeout_ms);

  DWORD process_id() const { return host_.process_id; }

 private:
  HostSession() = default;
  static DWORD WINAPI drain_log(void* session);

  native_messaging::StartedHost host_{};
  Stopwatch since_start_;
  HANDLE log_thread_ = nullptr;
  mutable SRWLOCK log_lock_ = SRWLOCK_INIT;
  std::string log_;
  // The log's length after each read, and when that read came.
  std::vector<std::pair<std::size_t, double>> log_arrivals_;
};

// A frame as the browser writes it: the length in 4 bytes, in the
// machine's order, then the message.
std::string frame(std::string_view message);

}  // namespace tavorin::windows_check
