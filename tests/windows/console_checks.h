#pragma once

namespace tavorin::windows_checks {

// The backend's console output on a real console: Wine's pseudo console,
// which needs no display. The checks run in a child process attached to
// it; `console_child` is that child's part, reporting into the file named.
void console_text_shows_whole(const wchar_t* this_program);
int console_child(const wchar_t* report_path);

}  // namespace tavorin::windows_checks
