#include "host_session.h"

#include <cstring>

#include "child_process.h"

namespace tavorin::windows_check {

namespace nm = native_messaging;

namespace {

// The browser's time to wait for the host to open its pipes, generous for
// a cold start under a virus scanner or Wine.
constexpr DWORD CONNECT_MS = 20000;
// The log kept in memory: enough for every line of a session that fails.
constexpr std::size_t LOG_KEPT = 4 * 1048576;
constexpr DWORD END_WAIT_MS = 5000;

// One overlapped transfer of at most `size` bytes, given up at the
// deadline: the bytes moved, or nothing.
std::optional<DWORD> transfer(HANDLE handle, char* bytes, DWORD size,
                              bool reading, const Stopwatch& clock,
                              double deadline_ms) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD moved = 0;
  BOOL done = reading ? ReadFile(handle, bytes, size, &moved, &overlapped)
                      : WriteFile(handle, bytes, size, &moved, &overlapped);
  std::optional<DWORD> result;
  if (done) {
    result = moved;
  } else if (GetLastError() == ERROR_IO_PENDING) {
    double left = deadline_ms - clock.elapsed_ms();
    DWORD wait = left > 0 ? static_cast<DWORD>(left) : 0;
    if (WaitForSingleObject(overlapped.hEvent, wait) != WAIT_OBJECT_0) {
      CancelIoEx(handle, &overlapped);
    }
    // Waits for a cancelled transfer too: the system writes into
    // `overlapped` until it has finished.
    if (GetOverlappedResult(handle, &overlapped, &moved, TRUE)) result = moved;
  }
  CloseHandle(overlapped.hEvent);
  if (result && *result == 0) return std::nullopt;
  return result;
}

bool transfer_all(HANDLE handle, char* bytes, std::size_t size, bool reading,
                  const Stopwatch& clock, double deadline_ms) {
  while (size > 0) {
    DWORD part = size > 1048576 ? 1048576 : static_cast<DWORD>(size);
    auto moved = transfer(handle, bytes, part, reading, clock, deadline_ms);
    if (!moved) return false;
    bytes += *moved;
    size -= *moved;
  }
  return true;
}

void close_open(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  handle = nullptr;
}

}  // namespace

std::string frame(std::string_view message) {
  auto length = static_cast<std::uint32_t>(message.size());
  std::string bytes(sizeof length, '\0');
  std::memcpy(bytes.data(), &length, sizeof length);
  return bytes + std::string(message);
}

std::expected<std::unique_ptr<HostSession>, std::string> HostSession::start(
    const std::wstring& program, std::span<const std::string> arguments,
    nm::LaunchMode mode, nm::ErrorStream error_stream) {
  std::unique_ptr<HostSession> session(new HostSession());
  session->since_start_.restart();
  auto started =
      nm::start_host(program, arguments, mode, error_stream, CONNECT_MS);
  if (!started) return std::unexpected(started.error());
  session->host_ = *started;
  if (session->host_.log != nullptr) {
    session->log_thread_ =
        CreateThread(nullptr, 0, drain_log, session.get(), 0, nullptr);
  }
  return session;
}

HostSession::~HostSession() {
  if (running()) end_process_tree(host_.process_id);
  close_open(host_.to_host);
  close_open(host_.from_host);
  if (log_thread_ != nullptr) {
    if (WaitForSingleObject(log_thread_, END_WAIT_MS) != WAIT_OBJECT_0) {
      CancelSynchronousIo(log_thread_);
      WaitForSingleObject(log_thread_, END_WAIT_MS);
    }
    CloseHandle(log_thread_);
  }
  close_open(host_.log);
  close_open(host_.process);
}

bool HostSession::running() const {
  return host_.process != nullptr &&
         WaitForSingleObject(host_.process, 0) == WAIT_TIMEOUT;
}

std::expected<std::string, std::string> HostSession::round_trip(
    std::string_view message, DWORD timeout_ms) {
  double deadline = since_start_.elapsed_ms() + timeout_ms;
  std::string out = frame(message);
  if (!transfer_all(host_.to_host, out.data(), out.size(), false, since_start_,
                    deadline)) {
    return std::unexpected("the host did not take the message of " +
                           std::to_string(message.size()) + " bytes");
  }
  std::uint32_t length = 0;
  if (!transfer_all(host_.from_host, reinterpret_cast<char*>(&length),
                    sizeof length, true, since_start_, deadline)) {
    return std::unexpected("no answer to the message of " +
                           std::to_string(message.size()) + " bytes within " +
                           std::to_string(timeout_ms / 1000) + " s");
  }
  std::string answer(length, '\0');
  if (!transfer_all(host_.from_host, answer.data(), answer.size(), true,
                    since_start_, deadline)) {
    return std::unexpected("an answer of " + std::to_string(length) +
                           " bytes cut short");
  }
  return answer;
}

std::expected<DWORD, std::string> HostSession::finish(DWORD timeout_ms) {
  close_open(host_.to_host);
  if (WaitForSingleObject(host_.process, timeout_ms) != WAIT_OBJECT_0) {
    return std::unexpected("still running " +
                           std::to_string(timeout_ms / 1000) +
                           " s after its input closed");
  }
  DWORD status = 0;
  GetExitCodeProcess(host_.process, &status);
  if (log_thread_ != nullptr) WaitForSingleObject(log_thread_, END_WAIT_MS);
  return status;
}

std::string HostSession::log() const {
  AcquireSRWLockShared(&log_lock_);
  std::string copy = log_;
  ReleaseSRWLockShared(&log_lock_);
  return copy;
}

std::optional<double> HostSession::wait_for_log(std::string_view text,
                                                DWORD timeout_ms) {
  constexpr DWORD POLL_MS = 20;
  for (DWORD waited = 0;; waited += POLL_MS) {
    AcquireSRWLockShared(&log_lock_);
    std::size_t at = log_.find(text);
    std::optional<double> seen;
    if (at != std::string::npos) {
      for (const auto& [end, ms] : log_arrivals_) {
        if (end >= at + text.size()) {
          seen = ms;
          break;
        }
      }
    }
    ReleaseSRWLockShared(&log_lock_);
    if (seen || waited >= timeout_ms) return seen;
    Sleep(POLL_MS);
  }
}

DWORD WINAPI HostSession::drain_log(void* context) {
  auto* session = static_cast<HostSession*>(context);
  std::string buffer(65536, '\0');
  DWORD got = 0;
  while (ReadFile(session->host_.log, buffer.data(),
                  static_cast<DWORD>(buffer.size()), &got, nullptr) &&
         got > 0) {
    double now = session->since_start_.elapsed_ms();
    AcquireSRWLockExclusive(&session->log_lock_);
    if (session->log_.size() < LOG_KEPT) {
      session->log_.append(buffer.data(), got);
      session->log_arrivals_.emplace_back(session->log_.size(), now);
    }
    ReleaseSRWLockExclusive(&session->log_lock_);
  }
  return 0;
}

}  // namespace tavorin::windows_check
