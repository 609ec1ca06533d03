#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <charconv>

#include "checks.h"
#include "embedded_files.h"
#include "example_app.h"
#include "judgements.h"
#include "owner_answer.h"
#include "platform/listener_verdict.h"
#include "platform/windows/process_user.h"
#include "platform/windows/windows_platform.h"
#include "windows/wide.h"

namespace tavorin::windows_check {

namespace {

// Long enough for a person to read the prompt and answer it.
constexpr DWORD PROMPT_MS = 120'000;
constexpr DWORD STEP_MS = 250;

// What the host's owner lookup makes of the process, as a person reads it.
std::string owner_text(ListenerOwner owner) {
  switch (owner) {
    case ListenerOwner::Unnamed: return "no process named (process 0)";
    case ListenerOwner::OurUser: return "its token names this user";
    case ListenerOwner::System: return "its token names SYSTEM";
    case ListenerOwner::AnotherUser: return "its token names another user";
    case ListenerOwner::RefusedInOurSession:
      return "Windows withholds it, and it runs in this session";
    case ListenerOwner::RefusedElsewhere:
      return "Windows withholds it, and it runs in another session";
    case ListenerOwner::Unknown: return "gone, or the lookup failed";
  }
  return "?";
}

// The port the app wrote, once it has written it; 0 until then.
std::uint16_t port_in(const std::wstring& port_file) {
  HANDLE file =
      CreateFileW(port_file.c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  char text[16] = {};
  DWORD got = 0;
  ReadFile(file, text, sizeof text, &got, nullptr);
  CloseHandle(file);
  std::uint16_t port = 0;
  std::from_chars(text, text + got, port);
  return port;
}

// Starts the program elevated, the way a user's "Run as administrator"
// does: one consent prompt. Null when it did not start (declined, too).
HANDLE start_elevated(const std::wstring& program,
                      const std::wstring& parameters) {
  SHELLEXECUTEINFOW run{};
  run.cbSize = sizeof run;
  run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
  run.lpVerb = L"runas";
  run.lpFile = program.c_str();
  run.lpParameters = parameters.c_str();
  run.nShow = SW_SHOWMINNOACTIVE;
  if (!ShellExecuteExW(&run)) return nullptr;
  return run.hProcess;
}

std::uint16_t wait_for_port(HANDLE app, const std::wstring& port_file) {
  for (DWORD waited = 0; waited < PROMPT_MS; waited += STEP_MS) {
    if (std::uint16_t port = port_in(port_file); port != 0) return port;
    if (WaitForSingleObject(app, STEP_MS) == WAIT_OBJECT_0) return 0;
  }
  return 0;
}

void stop(HANDLE app, Check& check) {
  if (!TerminateProcess(app, 0)) {
    check.add_line(
        "  this prompt may not end an elevated program: close the example "
        "app's window (minimized on the taskbar)");
  }
  WaitForSingleObject(app, PROMPT_MS);
  CloseHandle(app);
}

}  // namespace

Check check_elevated_app(Context& context) {
  Check check = make_check("elevated_app", "The user's own app, elevated", "");
  if (context.wine) {
    mark_not_measured(check, std::string(NOT_MEASURABLE_UNDER_WINE) +
                                 ": it has no consent prompt, and every Wine "
                                 "process runs as the same user");
    return check;
  }
  if (!context.options.elevated_app) {
    mark_not_measured(check,
                      "not run: give --elevated-app to start the example app "
                      "as administrator (one consent prompt) and see that "
                      "the host takes it for the user's own");
    return check;
  }
  if (context.elevated) {
    mark_not_measured(check,
                      "not run: this prompt is elevated already; run it from "
                      "a prompt that is not");
    return check;
  }
  auto folder = context.scratch.make_folder(L"elevated app");
  std::wstring program = folder ? *folder + L"tavorin_example_app.exe" : L"";
  if (!folder || !write_embedded(EmbeddedFile::App, program)) {
    check.detail = "the app could not be placed in the scratch folder";
    check.fix = "send this output to the host's developers";
    return check;
  }
  HANDLE app = start_elevated(
      program, L"--temp-dir " + quoted_folder(*folder) + L" --port 0");
  if (app == nullptr) {
    mark_not_measured(check,
                      "not run: the app did not start elevated (the "
                      "prompt declined?)");
    return check;
  }
  std::uint16_t port = wait_for_port(app, *folder + L"tavorin_port.txt");
  if (port == 0) {
    check.detail = "the elevated app wrote no port file";
  } else {
    check.detail = "the example app, elevated, on port " + std::to_string(port);
    check.add_line("  the owner lookup: " +
                   owner_text(owner_of_process(GetProcessId(app))));
    OwnerAnswer answer = ask_host(context.os, port);
    check.ok = answer.problem.empty() && answer.ours;
    check.add_line("  the host: " + answer_text(answer));
  }
  stop(app, check);
  if (!check.ok) {
    check.fix =
        "the host must take the user's own app when it runs elevated: send "
        "this output to the host's developers";
  }
  return check;
}

}  // namespace tavorin::windows_check
