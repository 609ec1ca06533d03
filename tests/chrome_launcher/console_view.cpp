#include "console_view.h"

#include <vector>

#include "windows/wide.h"

namespace nm = tavorin::native_messaging;

namespace {

constexpr DWORD POLL_MS = 50;
constexpr SHORT TAIL_ROWS = 12;

// The screen buffer's text, row by row, without each row's trailing blanks.
std::wstring screen_text(HANDLE screen) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(screen, &info)) return L"";
  const auto width = static_cast<DWORD>(info.dwSize.X);
  std::wstring text;
  std::vector<wchar_t> row(width);
  for (SHORT y = 0; y < info.dwSize.Y; ++y) {
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, row.data(), width, COORD{0, y}, &read);
    std::wstring line(row.data(), read);
    line.erase(line.find_last_not_of(L' ') + 1);
    text += line + L"\n";
  }
  return text;
}

std::wstring last_rows(const std::wstring& text) {
  std::size_t at = text.find_last_not_of(L'\n');
  for (SHORT rows = 0; at != std::wstring::npos && rows < TAIL_ROWS; ++rows) {
    at = at == 0 ? std::wstring::npos : text.rfind(L'\n', at - 1);
  }
  return at == std::wstring::npos ? text : text.substr(at + 1);
}

}  // namespace

ConsoleView wait_for_console_text(DWORD process_id, const std::string& text,
                                  DWORD timeout_ms) {
  FreeConsole();
  if (!AttachConsole(process_id)) {
    return {false, "cannot attach to the console of process " +
                       std::to_string(process_id) + ": error " +
                       std::to_string(GetLastError())};
  }
  HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(screen, &info)) {
    std::string why = "cannot read the console's screen: error " +
                      std::to_string(GetLastError());
    CloseHandle(screen);
    FreeConsole();
    return {false, why};
  }
  const std::wstring wanted = nm::widen(text);
  std::wstring shown;
  for (DWORD waited = 0;; waited += POLL_MS) {
    shown = screen_text(screen);
    if (shown.find(wanted) != std::wstring::npos || waited >= timeout_ms) {
      break;
    }
    Sleep(POLL_MS);
  }
  CloseHandle(screen);
  FreeConsole();
  return {shown.find(wanted) != std::wstring::npos,
          nm::narrow(last_rows(shown))};
}
