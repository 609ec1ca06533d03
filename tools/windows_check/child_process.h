#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tavorin::windows_check {

struct ProgramRun {
  std::optional<DWORD> exit_code;  // none: it did not start, or ran too long
  std::string output;              // standard output and error, as written
  std::string problem;             // why there is no exit code
};

// Runs a command line in the folder with no console window, standard input
// NUL and both output streams into one pipe; ends it, and everything it
// started, after timeout_ms.
ProgramRun run_program(const std::wstring& command_line,
                       const std::wstring& folder, DWORD timeout_ms);

// Ends a process and every process it started, children first.
void end_process_tree(DWORD process_id);

}  // namespace tavorin::windows_check
