#include "child_process.h"

#include <tlhelp32.h>

#include <vector>

namespace tavorin::windows_check {

namespace {

constexpr DWORD READER_GRACE_MS = 5000;

struct OutputReader {
  HANDLE pipe = nullptr;
  std::string text;
};

DWORD WINAPI read_all(void* context) {
  auto* reader = static_cast<OutputReader*>(context);
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(reader->pipe, buffer, sizeof buffer, &got, nullptr) &&
         got > 0) {
    reader->text.append(buffer, got);
  }
  return 0;
}

std::vector<DWORD> children_of(DWORD parent) {
  std::vector<DWORD> children;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return children;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID == parent && entry.th32ProcessID != parent) {
      children.push_back(entry.th32ProcessID);
    }
  }
  CloseHandle(snapshot);
  return children;
}

struct Handles {
  HANDLE input = INVALID_HANDLE_VALUE;
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ~Handles() {
    for (HANDLE handle : {input, read_end, write_end}) {
      if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
      }
    }
  }
};

// Only the two handles meant for the child are inherited.
std::optional<PROCESS_INFORMATION> start(const std::wstring& command_line,
                                         const std::wstring& folder,
                                         const Handles& handles) {
  HANDLE inherited[2] = {handles.input, handles.write_end};
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> storage(size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
  if (!InitializeProcThreadAttributeList(list, 1, 0, &size))
    return std::nullopt;
  UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                            inherited, sizeof inherited, nullptr, nullptr);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = handles.input;
  startup.StartupInfo.hStdOutput = handles.write_end;
  startup.StartupInfo.hStdError = handles.write_end;
  startup.lpAttributeList = list;
  std::vector<wchar_t> command(command_line.begin(), command_line.end());
  command.push_back(L'\0');
  PROCESS_INFORMATION process{};
  BOOL started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                     CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT |
                         EXTENDED_STARTUPINFO_PRESENT,
                     nullptr, folder.empty() ? nullptr : folder.c_str(),
                     &startup.StartupInfo, &process);
  DeleteProcThreadAttributeList(list);
  if (!started) return std::nullopt;
  CloseHandle(process.hThread);
  return process;
}

}  // namespace

ProgramRun run_program(const std::wstring& command_line,
                       const std::wstring& folder, DWORD timeout_ms) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  Handles handles;
  handles.input =
      CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inherit, OPEN_EXISTING, 0, nullptr);
  ProgramRun run;
  if (handles.input == INVALID_HANDLE_VALUE ||
      !CreatePipe(&handles.read_end, &handles.write_end, &inherit, 0)) {
    run.problem = "no pipe: error " + std::to_string(GetLastError());
    return run;
  }
  SetHandleInformation(handles.read_end, HANDLE_FLAG_INHERIT, 0);
  auto process = start(command_line, folder, handles);
  if (!process) {
    run.problem =
        "CreateProcessW failed with error " + std::to_string(GetLastError());
    return run;
  }
  CloseHandle(handles.write_end);
  handles.write_end = nullptr;
  OutputReader reader{handles.read_end, {}};
  HANDLE thread = CreateThread(nullptr, 0, read_all, &reader, 0, nullptr);
  if (WaitForSingleObject(process->hProcess, timeout_ms) != WAIT_OBJECT_0) {
    end_process_tree(process->dwProcessId);
    run.problem = "still running after " + std::to_string(timeout_ms / 1000) +
                  " s: ended";
  } else {
    DWORD code = 0;
    GetExitCodeProcess(process->hProcess, &code);
    run.exit_code = code;
  }
  if (WaitForSingleObject(thread, READER_GRACE_MS) != WAIT_OBJECT_0) {
    // A program it started still holds the pipe: stop reading.
    CancelSynchronousIo(thread);
    WaitForSingleObject(thread, READER_GRACE_MS);
  }
  CloseHandle(thread);
  CloseHandle(process->hProcess);
  run.output = std::move(reader.text);
  return run;
}

void end_process_tree(DWORD process_id) {
  for (DWORD child : children_of(process_id)) end_process_tree(child);
  HANDLE process =
      OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process_id);
  if (process == nullptr) return;
  TerminateProcess(process, 1);
  WaitForSingleObject(process, READER_GRACE_MS);
  CloseHandle(process);
}

}  // namespace tavorin::windows_check
