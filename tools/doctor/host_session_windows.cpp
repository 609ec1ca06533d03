#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include "host_session.h"
#include "windows/launch.h"
#include "windows/wide.h"

namespace tavorin::doctor {

namespace {

using native_messaging::widen;

// The browser's own limit for a host to open its pipes.
constexpr DWORD CONNECT_MS = 5000;
// How long the readers may take to see the end once the host has ended.
constexpr DWORD DRAIN_MS = 2000;
constexpr DWORD LOOK_AGAIN_MS = 5;

// One of the host's outputs, read on a thread of its own so that neither
// pipe can fill up and stall the host while the other is read.
struct Drain {
  HANDLE from = nullptr;
  SRWLOCK lock = SRWLOCK_INIT;
  std::string bytes{};
  bool ended = false;

  // Up to `size` bytes from the front, and whether the stream has ended.
  std::string take(std::size_t size, bool& at_end) {
    AcquireSRWLockExclusive(&lock);
    std::size_t taken = std::min(size, bytes.size());
    std::string front = bytes.substr(0, taken);
    bytes.erase(0, taken);
    at_end = ended;
    ReleaseSRWLockExclusive(&lock);
    return front;
  }

  std::size_t available() {
    AcquireSRWLockShared(&lock);
    std::size_t size = ended ? SIZE_MAX : bytes.size();
    ReleaseSRWLockShared(&lock);
    return size;
  }
};

DWORD WINAPI drain(void* context) {
  Drain* stream = static_cast<Drain*>(context);
  char buffer[65536];
  for (;;) {
    DWORD got =
        native_messaging::read_handle(stream->from, buffer, sizeof buffer);
    AcquireSRWLockExclusive(&stream->lock);
    if (got == 0) stream->ended = true;
    stream->bytes.append(buffer, got);
    ReleaseSRWLockExclusive(&stream->lock);
    if (got == 0) return 0;
  }
}

// cmd.exe does not end the host when it is ended itself: every process
// started from it goes first.
void stop_tree(DWORD process_id) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot != INVALID_HANDLE_VALUE) {
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
      if (entry.th32ParentProcessID == process_id &&
          entry.th32ProcessID != process_id) {
        stop_tree(entry.th32ProcessID);
      }
    }
    CloseHandle(snapshot);
  }
  // TerminateProcess only starts the end: each is waited for, so that what
  // the doctor stopped is gone when it says so.
  HANDLE process =
      OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process_id);
  if (process != nullptr) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, DRAIN_MS);
    CloseHandle(process);
  }
}

}  // namespace

std::string launch_command(const HostToStart& host) {
  std::string arguments;
  for (const std::string& argument : host.arguments)
    arguments += " " + argument;
  if (host.family == native_messaging::Family::Firefox) {
    return "\"" + host.program + "\"" + arguments +
           " (directly, in its folder, with no console)";
  }
  return "%COMSPEC% /d /s /c \"\"" + host.program + "\"" + arguments +
         " --parent-window=0\" < \\\\.\\pipe\\chrome.nativeMessaging.in.<id> "
         "> \\\\.\\pipe\\chrome.nativeMessaging.out.<id>";
}

namespace {

class WindowsHostSession final : public HostSession {
 public:
  WindowsHostSession(const native_messaging::StartedHost& started,
                     std::string command)
      : started_(started), command_(std::move(command)) {
    // Owned by the threads, which may outlive this session if a pipe never
    // ends.
    log_ = new Drain{.from = started.log};
    output_ = new Drain{.from = started.from_host};
    threads_[0] = CreateThread(nullptr, 0, drain, log_, 0, nullptr);
    threads_[1] = CreateThread(nullptr, 0, drain, output_, 0, nullptr);
  }

  ~WindowsHostSession() override {
    if (!finished_) finish(std::chrono::milliseconds(0));
  }

  bool write(std::string_view bytes) override {
    return started_.to_host != nullptr &&
           native_messaging::write_handle(started_.to_host, bytes.data(),
                                          static_cast<DWORD>(bytes.size()));
  }

  std::string read(std::size_t size, std::chrono::milliseconds limit) override {
    ULONGLONG deadline = GetTickCount64() + limit.count();
    while (output_->available() < size && GetTickCount64() < deadline) {
      Sleep(LOOK_AGAIN_MS);
    }
    bool at_end = false;
    return output_->take(size, at_end);
  }

  HostRun finish(std::chrono::milliseconds limit) override {
    finished_ = true;
    HostRun run{.command = command_};
    if (started_.to_host != nullptr) CloseHandle(started_.to_host);
    started_.to_host = nullptr;
    if (WaitForSingleObject(started_.process,
                            static_cast<DWORD>(limit.count())) ==
        WAIT_TIMEOUT) {
      stop_tree(started_.process_id);
      WaitForSingleObject(started_.process, DRAIN_MS);
      run.timed_out = true;
      run.ending = "still running at the time limit: stopped by the doctor";
    } else {
      DWORD status = 0;
      GetExitCodeProcess(started_.process, &status);
      run.ending = "exit status " + std::to_string(status);
    }
    bool drained =
        WaitForMultipleObjects(2, threads_, TRUE, DRAIN_MS) == WAIT_OBJECT_0;
    bool at_end = false;
    run.log = log_->take(SIZE_MAX, at_end);
    run.output_bytes = output_->take(SIZE_MAX, at_end).size();
    if (drained) {
      delete log_;
      delete output_;
      CloseHandle(started_.log);
      CloseHandle(started_.from_host);
    }
    for (HANDLE thread : threads_) {
      if (thread != nullptr) CloseHandle(thread);
    }
    CloseHandle(started_.process);
    return run;
  }

 private:
  native_messaging::StartedHost started_;
  std::string command_;
  Drain* log_ = nullptr;
  Drain* output_ = nullptr;
  HANDLE threads_[2] = {nullptr, nullptr};
  bool finished_ = false;
};

}  // namespace

std::expected<std::unique_ptr<HostSession>, std::string> HostSession::start(
    const HostToStart& host) {
  auto started = native_messaging::start_host(
      widen(host.program), host.arguments,
      host.family == native_messaging::Family::Firefox
          ? native_messaging::LaunchMode::Firefox
          : native_messaging::LaunchMode::ThroughCmd,
      native_messaging::ErrorStream::Pipe, CONNECT_MS);
  if (!started) return std::unexpected(started.error());
  return std::make_unique<WindowsHostSession>(*started, launch_command(host));
}

}  // namespace tavorin::doctor
