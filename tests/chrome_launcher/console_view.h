#pragma once

#include <windows.h>

#include <string>

// What a process's console shows, read by attaching to it: the test's way to
// see that the host's log reached the hidden console the browser gives it.
//
// Waits at most `timeout_ms` for the screen to show `text` (the host writes
// its last lines after its last frame), and returns the screen's last lines
// as UTF-8, or why it could not be read.
struct ConsoleView {
  bool shown = false;
  std::string tail;
};
ConsoleView wait_for_console_text(DWORD process_id, const std::string& text,
                                  DWORD timeout_ms);
