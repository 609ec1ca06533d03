#include "example_app.h"

#include <charconv>
#include <vector>

#include "embedded_files.h"

namespace tavorin::windows_check {

namespace {

constexpr std::string_view READY = "listening on ";

std::string system_error(std::string_view what) {
  return std::string(what) + " failed with error " +
         std::to_string(GetLastError());
}

// Starts the app with no window, its input NUL and both outputs into a
// pipe, the only handles it inherits.
std::expected<HANDLE, std::string> launch(const std::wstring& program,
                                          const std::wstring& folder,
                                          HANDLE& output) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ, &inherit,
                             OPEN_EXISTING, 0, nullptr);
  HANDLE write_end = nullptr;
  if (input == INVALID_HANDLE_VALUE ||
      !CreatePipe(&output, &write_end, &inherit, 0)) {
    return std::unexpected(system_error("making the app's pipe"));
  }
  SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
  HANDLE inherited[2] = {input, write_end};
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> storage(size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
  InitializeProcThreadAttributeList(list, 1, 0, &size);
  UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                            inherited, sizeof inherited, nullptr, nullptr);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = input;
  startup.StartupInfo.hStdOutput = write_end;
  startup.StartupInfo.hStdError = write_end;
  startup.lpAttributeList = list;
  std::wstring command = L"\"" + program + L"\" --temp-dir " +
                         quoted_folder(folder) + L" --port 0";
  PROCESS_INFORMATION process{};
  BOOL started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                     CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr,
                     folder.c_str(), &startup.StartupInfo, &process);
  DWORD error = GetLastError();
  DeleteProcThreadAttributeList(list);
  CloseHandle(input);
  CloseHandle(write_end);
  if (!started) {
    SetLastError(error);
    return std::unexpected(system_error("starting the example app"));
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}

// The app's first line, or all it wrote before it ended.
std::string first_line(HANDLE output) {
  std::string text;
  char c = 0;
  DWORD got = 0;
  while (ReadFile(output, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
    text += c;
  }
  return text;
}

}  // namespace

// Without its last backslash: before a closing quote it would escape the
// quote.
std::wstring quoted_folder(const std::wstring& folder) {
  std::wstring bare = folder;
  while (bare.size() > 3 && bare.back() == L'\\') bare.pop_back();
  return L"\"" + bare + L"\"";
}

std::string ExampleApp::answer_to(std::string_view line) {
  return "{\"ok\":true,\"echo\":" + std::string(line) + "}";
}

std::expected<std::unique_ptr<ExampleApp>, std::string> ExampleApp::start(
    const std::wstring& folder) {
  std::unique_ptr<ExampleApp> app(new ExampleApp());
  app->folder_ = folder;
  std::wstring program = folder + L"tavorin_example_app.exe";
  if (auto written = write_embedded(EmbeddedFile::App, program); !written) {
    return std::unexpected(written.error());
  }
  HANDLE output = nullptr;
  auto process = launch(program, folder, output);
  if (!process) return std::unexpected(process.error());
  app->process_ = *process;
  std::string line = first_line(output);
  CloseHandle(output);
  // The number ends the line (a "\r" after it, as the C runtime writes a
  // line feed to a pipe in text mode).
  std::string_view digits = std::string_view(line).substr(
      line.starts_with(READY) ? READY.size() : line.size());
  auto parsed =
      std::from_chars(digits.data(), digits.data() + digits.size(), app->port_);
  if (digits.empty() || parsed.ec != std::errc{}) {
    return std::unexpected("the example app did not start: " + line);
  }
  return app;
}

// Ended from outside, the app cannot remove its files: they go here, in
// the app's order.
ExampleApp::~ExampleApp() {
  if (process_ == nullptr) return;
  TerminateProcess(process_, 0);
  WaitForSingleObject(process_, 5000);
  CloseHandle(process_);
  DeleteFileW((folder_ + L"tavorin_app_instance.lock").c_str());
  DeleteFileW((folder_ + L"tavorin_port.txt").c_str());
}

}  // namespace tavorin::windows_check
