#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include "host_process.h"
#include "windows/launch.h"
#include "windows/wide.h"

namespace tavorin::doctor {

namespace {

using native_messaging::widen;

// The browser's own limit for a host to open its pipes.
constexpr DWORD CONNECT_MS = 5000;
// How long the readers may take to see the end once the host has ended.
constexpr DWORD DRAIN_MS = 2000;

// One of the host's outputs, read on a thread of its own so that neither
// pipe can fill up and stall the host while the other is read.
struct Drain {
  HANDLE from = nullptr;
  SRWLOCK lock = SRWLOCK_INIT;
  std::string bytes{};

  std::string taken() {
    AcquireSRWLockShared(&lock);
    std::string copy = bytes;
    ReleaseSRWLockShared(&lock);
    return copy;
  }
};

DWORD WINAPI drain(void* context) {
  Drain* stream = static_cast<Drain*>(context);
  char buffer[4096];
  for (;;) {
    DWORD got =
        native_messaging::read_handle(stream->from, buffer, sizeof buffer);
    if (got == 0) return 0;
    AcquireSRWLockExclusive(&stream->lock);
    stream->bytes.append(buffer, got);
    ReleaseSRWLockExclusive(&stream->lock);
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

std::string command_text(const HostToStart& host) {
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

void wait_for_end(HANDLE process, DWORD limit_ms, HostRun& run) {
  if (WaitForSingleObject(process, limit_ms) == WAIT_TIMEOUT) {
    stop_tree(GetProcessId(process));
    WaitForSingleObject(process, DRAIN_MS);
    run.timed_out = true;
    run.ending = "still running at the time limit: stopped by the doctor";
    return;
  }
  DWORD status = 0;
  GetExitCodeProcess(process, &status);
  run.ending = "exit status " + std::to_string(status);
}

}  // namespace

HostRun run_host_as_browser(const HostToStart& host,
                            std::chrono::milliseconds limit) {
  HostRun run{.command = command_text(host)};
  auto started = native_messaging::start_host(
      widen(host.program), host.arguments,
      host.family == native_messaging::Family::Firefox
          ? native_messaging::LaunchMode::Firefox
          : native_messaging::LaunchMode::ThroughCmd,
      native_messaging::ErrorStream::Pipe, CONNECT_MS);
  if (!started) {
    run.start_error = started.error();
    return run;
  }
  // The extension sends nothing: the host reads the end of its input first.
  CloseHandle(started->to_host);
  // Owned by the threads, which may outlive this call if a pipe never ends.
  auto* log = new Drain{.from = started->log};
  auto* output = new Drain{.from = started->from_host};
  HANDLE threads[2] = {CreateThread(nullptr, 0, drain, log, 0, nullptr),
                       CreateThread(nullptr, 0, drain, output, 0, nullptr)};
  wait_for_end(started->process, static_cast<DWORD>(limit.count()), run);
  bool drained =
      WaitForMultipleObjects(2, threads, TRUE, DRAIN_MS) == WAIT_OBJECT_0;
  run.log = log->taken();
  run.output_bytes = output->taken().size();
  if (drained) {
    delete log;
    delete output;
    CloseHandle(started->log);
    CloseHandle(started->from_host);
  }
  for (HANDLE thread : threads) {
    if (thread != nullptr) CloseHandle(thread);
  }
  CloseHandle(started->process);
  return run;
}

}  // namespace tavorin::doctor
