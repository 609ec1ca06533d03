#include "windows/launch.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "windows/wide.h"

namespace tavorin::native_messaging {

namespace {

// The browser's own pipe names and time limit for them.
constexpr DWORD PIPE_TIMEOUT_MS = 5000;

std::wstring random_token() {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  std::uint64_t token =
      static_cast<std::uint64_t>(now.QuadPart) ^
      (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32);
  wchar_t text[20];
  std::swprintf(text, 20, L"%llx", static_cast<unsigned long long>(token));
  return text;
}

HANDLE create_pipe(const std::wstring& name, DWORD direction) {
  return CreateNamedPipeW(
      name.c_str(),
      direction | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE, 1, 0, 0, PIPE_TIMEOUT_MS, nullptr);
}

std::wstring folder_of(const std::wstring& path) {
  std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// The host's command line as Chrome writes it: the program quoted (it
// always holds a backslash), then the origin and the parent window (0: a
// service worker's port).
std::wstring chrome_command(const std::wstring& program,
                            std::span<const std::string> arguments) {
  std::wstring command = L"\"" + program + L"\"";
  for (const std::string& argument : arguments)
    command += L" " + widen(argument);
  return command + L" --parent-window=0";
}

// An argument as Firefox quotes it: only when it holds white space or a
// quote, with the backslashes before a quote doubled.
std::wstring firefox_quoted(const std::wstring& argument) {
  if (argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t unit : argument) {
    if (unit == L'\\') {
      ++backslashes;
    } else {
      if (unit == L'"') quoted.append(backslashes + 1, L'\\');
      backslashes = 0;
    }
    quoted += unit;
  }
  quoted.append(backslashes, L'\\');
  return quoted + L"\"";
}

std::wstring firefox_command(const std::wstring& program,
                             std::span<const std::string> arguments) {
  std::wstring command = firefox_quoted(program);
  for (const std::string& argument : arguments) {
    command += L" " + firefox_quoted(widen(argument));
  }
  return command;
}

std::string system_text(const char* what) {
  return std::string(what) + " failed with error " +
         std::to_string(GetLastError());
}

bool connect_pipe(HANDLE pipe, HANDLE process, DWORD timeout_ms) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  bool connected = ConnectNamedPipe(pipe, &overlapped) != 0 ||
                   GetLastError() == ERROR_PIPE_CONNECTED;
  if (!connected && GetLastError() == ERROR_IO_PENDING) {
    HANDLE waits[2] = {overlapped.hEvent, process};
    DWORD woke = WaitForMultipleObjects(2, waits, FALSE, timeout_ms);
    DWORD ignored = 0;
    connected = woke == WAIT_OBJECT_0 &&
                GetOverlappedResult(pipe, &overlapped, &ignored, FALSE) != 0;
    if (!connected) {
      // The system writes into `overlapped` until the cancelled connect has
      // finished: wait for that before the structure goes with this frame.
      CancelIoEx(pipe, &overlapped);
      GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
    }
  }
  CloseHandle(overlapped.hEvent);
  return connected;
}

struct Launch {
  std::wstring command;
  HANDLE input = nullptr;
  HANDLE output = nullptr;
  HANDLE error = nullptr;
  bool use_handles = false;
  bool new_console = false;
  bool no_window = false;
};

// Chrome opens the pipes' client ends for a directly started host:
// synchronous, inheritable, and not shared.
std::expected<void, std::string> open_client_ends(const std::wstring& in_name,
                                                  const std::wstring& out_name,
                                                  Launch& launch) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  launch.output =
      CreateFileW(out_name.c_str(), FILE_WRITE_DATA | SYNCHRONIZE, 0, &inherit,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  launch.input =
      CreateFileW(in_name.c_str(), FILE_READ_DATA | SYNCHRONIZE, 0, &inherit,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (launch.output == INVALID_HANDLE_VALUE ||
      launch.input == INVALID_HANDLE_VALUE) {
    return std::unexpected(system_text("opening the pipes' client ends"));
  }
  launch.use_handles = true;
  return {};
}

HANDLE inheritable_copy(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return handle;
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0,
                  TRUE, DUPLICATE_SAME_ACCESS);
  return copy;
}

// Sets up the host's standard error; returns the read end for Pipe.
HANDLE prepare_error_stream(ErrorStream choice, Launch& launch) {
  switch (choice) {
    case ErrorStream::Parent:
      launch.error = inheritable_copy(GetStdHandle(STD_ERROR_HANDLE));
      return nullptr;
    case ErrorStream::Null:
    case ErrorStream::HiddenConsole: launch.error = nullptr; return nullptr;
    case ErrorStream::InvalidHandle:
      launch.error = INVALID_HANDLE_VALUE;
      return nullptr;
    case ErrorStream::NulDevice: {
      SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
      launch.error =
          CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      &inherit, OPEN_EXISTING, 0, nullptr);
      return nullptr;
    }
    case ErrorStream::Pipe: {
      SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
      HANDLE read_end = nullptr;
      CreatePipe(&read_end, &launch.error, &inherit, 0);
      SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
      return read_end;
    }
  }
  return nullptr;
}

// Only the handles meant for the child are inherited, as the browser's
// launcher restricts them, so no pipe of ours stays open in the host.
class InheritedHandles {
 public:
  explicit InheritedHandles(const Launch& launch) {
    for (HANDLE handle : {launch.input, launch.output, launch.error}) {
      if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        handles_.push_back(handle);
      }
    }
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (handles_.empty() ||
        !InitializeProcThreadAttributeList(list_, 1, 0, &size)) {
      list_ = nullptr;
      return;
    }
    if (!UpdateProcThreadAttribute(
            list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
            handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
      DeleteProcThreadAttributeList(list_);
      list_ = nullptr;
    }
  }
  InheritedHandles(const InheritedHandles&) = delete;
  InheritedHandles& operator=(const InheritedHandles&) = delete;
  ~InheritedHandles() {
    if (list_ != nullptr) DeleteProcThreadAttributeList(list_);
  }

  bool any() const { return !handles_.empty(); }
  LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_; }

 private:
  std::vector<HANDLE> handles_;
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

std::expected<PROCESS_INFORMATION, std::string> create_process(
    const Launch& launch, const std::wstring& folder) {
  InheritedHandles inherited(launch);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
  startup.StartupInfo.wShowWindow = SW_HIDE;
  DWORD flags = CREATE_UNICODE_ENVIRONMENT;
  if (launch.new_console) flags |= CREATE_NEW_CONSOLE;
  if (launch.no_window) flags |= CREATE_NO_WINDOW;
  if (launch.use_handles) {
    startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = launch.input;
    startup.StartupInfo.hStdOutput = launch.output;
    startup.StartupInfo.hStdError = launch.error;
  }
  if (inherited.list() != nullptr) {
    startup.lpAttributeList = inherited.list();
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  }
  PROCESS_INFORMATION process{};
  std::vector<wchar_t> command(launch.command.begin(), launch.command.end());
  command.push_back(L'\0');
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr,
                      inherited.any(), flags, nullptr, folder.c_str(),
                      &startup.StartupInfo, &process)) {
    return std::unexpected(system_text("CreateProcessW"));
  }
  CloseHandle(process.hThread);
  return process;
}

void close_if_open(HANDLE handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

}  // namespace

std::wstring resolve_host_path(const std::wstring& manifest_path,
                               const std::wstring& path) {
  bool absolute =
      (path.size() >= 3 && path[1] == L':') || path.starts_with(L"\\\\");
  if (absolute) return path;
  return folder_of(manifest_path) + L"\\" + path;
}

std::expected<StartedHost, std::string> start_host(
    const std::wstring& program, std::span<const std::string> arguments,
    LaunchMode mode, ErrorStream error_stream, DWORD connect_ms) {
  std::wstring token = random_token();
  std::wstring in_name = L"\\\\.\\pipe\\chrome.nativeMessaging.in." + token;
  std::wstring out_name = L"\\\\.\\pipe\\chrome.nativeMessaging.out." + token;
  StartedHost host;
  host.from_host = create_pipe(out_name, PIPE_ACCESS_INBOUND);
  host.to_host = create_pipe(in_name, PIPE_ACCESS_OUTBOUND);
  if (host.from_host == INVALID_HANDLE_VALUE ||
      host.to_host == INVALID_HANDLE_VALUE) {
    return std::unexpected(system_text("CreateNamedPipeW"));
  }
  Launch launch;
  host.log = prepare_error_stream(error_stream, launch);
  launch.new_console = error_stream == ErrorStream::HiddenConsole;
  // cmd.exe gets no handles from the browser, only a hidden console; a
  // standard error chosen for it is the one handle it is given.
  launch.use_handles = launch.error != nullptr;
  if (mode != LaunchMode::ThroughCmd) {
    launch.command = mode == LaunchMode::Firefox
                         ? firefox_command(program, arguments)
                         : chrome_command(program, arguments);
    launch.no_window = mode == LaunchMode::Firefox;
    if (auto opened = open_client_ends(in_name, out_name, launch); !opened) {
      return std::unexpected(opened.error());
    }
  } else {
    wchar_t comspec[MAX_PATH];
    if (GetEnvironmentVariableW(L"COMSPEC", comspec, MAX_PATH) == 0) {
      return std::unexpected("COMSPEC is not set");
    }
    launch.command = std::wstring(comspec) + L" /d /s /c \"" +
                     chrome_command(program, arguments) + L"\" < " + in_name +
                     L" > " + out_name;
  }
  auto process = create_process(launch, folder_of(program));
  close_if_open(launch.input);
  close_if_open(launch.output);
  close_if_open(launch.error);
  if (!process) return std::unexpected(process.error());
  host.process = process->hProcess;
  host.process_id = process->dwProcessId;
  if (!connect_pipe(host.from_host, host.process, connect_ms) ||
      !connect_pipe(host.to_host, host.process, connect_ms)) {
    return std::unexpected("the host never opened its standard streams");
  }
  return host;
}

DWORD read_handle(HANDLE handle, void* buffer, DWORD size) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD got = 0;
  if (!ReadFile(handle, buffer, size, &got, &overlapped)) {
    got = 0;
    if (GetLastError() == ERROR_IO_PENDING) {
      GetOverlappedResult(handle, &overlapped, &got, TRUE);
    }
  }
  CloseHandle(overlapped.hEvent);
  return got;
}

bool write_handle(HANDLE handle, const void* bytes, DWORD size) {
  const char* next = static_cast<const char*>(bytes);
  while (size > 0) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD written = 0;
    bool done = WriteFile(handle, next, size, &written, &overlapped) != 0;
    if (!done && GetLastError() == ERROR_IO_PENDING) {
      done = GetOverlappedResult(handle, &overlapped, &written, TRUE) != 0;
    }
    CloseHandle(overlapped.hEvent);
    if (!done || written == 0) return false;
    next += written;
    size -= written;
  }
  return true;
}

}  // namespace tavorin::native_messaging
