#pragma once

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavorin::windows_check {

// The desktop app as the host meets it, inside this program: a listener on
// 127.0.0.1 (at a port the system picks) that answers each line with a
// fixed echo of it, and the app's port file and lock file in a folder of
// the caller's, written in the app's order (listen, port file, lock file)
// and removed in the reverse order when it stops.
class StandInApp {
 public:
  static std::expected<std::unique_ptr<StandInApp>, std::string> start(
      const std::wstring& folder);
  StandInApp(const StandInApp&) = delete;
  StandInApp& operator=(const StandInApp&) = delete;
  ~StandInApp();

  std::uint16_t port() const { return port_; }

  // What the app answers to a line: {"echo":LINE}.
  static std::string answer_to(std::string_view line);

 private:
  StandInApp() = default;
  static unsigned long __stdcall accept_loop(void* app);
  static unsigned long __stdcall serve(void* connection);

  SOCKET listener_ = INVALID_SOCKET;
  std::uint16_t port_ = 0;
  void* accept_thread_ = nullptr;
  std::wstring folder_;
  std::atomic<bool> stopping_{false};
  // Filled by the accept thread only; read after it has ended.
  std::vector<SOCKET> connections_;
  std::vector<void*> threads_;
};

}  // namespace tavorin::windows_check
