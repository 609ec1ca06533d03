#include <windows.h>

#include <vector>

#include "app_files.h"

namespace tavorin::example {
namespace {

constexpr int WIDE_CAPACITY = 4096;

void (*stop_clean_up)() = nullptr;

// Fixed storage, as the console's stop handler has little time.
bool to_wide(const char* path, wchar_t (&wide)[WIDE_CAPACITY]) {
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide,
                             WIDE_CAPACITY) > 0;
}

std::string to_utf8(const wchar_t* text, int length) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr,
                                 nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr,
                      nullptr);
  return out;
}

// Ctrl+C, Ctrl+Break, the console's window closed, the user logging off or
// the system shutting down: the files go before the process. Windows ends
// the process after the handler for the last three anyway. Ended at once,
// as _exit does on Linux: ExitProcess would first flush the C runtime's
// streams, whose locks a conversation's thread may hold.
BOOL WINAPI stop_on_console_event(DWORD) {
  if (stop_clean_up != nullptr) stop_clean_up();
  TerminateProcess(GetCurrentProcess(), 0);
  return TRUE;
}

using GetTempPathFunction = DWORD(WINAPI*)(DWORD length, LPWSTR buffer);

// The host's rule: GetTempPath2W where the system has it (a process of
// SYSTEM then gets its own directory), else GetTempPathW; both take TMP,
// then TEMP, then USERPROFILE, then the Windows folder.
GetTempPathFunction find_get_temp_path() {
  HMODULE kernel32 = GetModuleHandleW(L"kernel32");
  FARPROC found =
      kernel32 != nullptr ? GetProcAddress(kernel32, "GetTempPath2W") : nullptr;
  if (found == nullptr) return &GetTempPathW;
  return reinterpret_cast<GetTempPathFunction>(
      reinterpret_cast<void (*)()>(found));
}

}  // namespace

std::string default_temp_dir() {
  GetTempPathFunction get_temp_path = find_get_temp_path();
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (;;) {
    DWORD length =
        get_temp_path(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return {};
    if (length < buffer.size()) {
      return to_utf8(buffer.data(), static_cast<int>(length));
    }
    buffer.resize(length);
  }
}

// The temporary directory is the user's own on Windows, so the file gets
// the directory's permissions. FILE_FLAG_OPEN_REPARSE_POINT: a link under
// the name is replaced, never followed.
bool write_file(const char* path, std::string_view content) {
  wchar_t wide[WIDE_CAPACITY];
  if (!to_wide(path, wide)) return false;
  HANDLE file = CreateFileW(
      wide, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool whole =
      WriteFile(file, content.data(), static_cast<DWORD>(content.size()),
                &written, nullptr) &&
      written == content.size();
  return CloseHandle(file) && whole;
}

// A program that holds the old file open without FILE_SHARE_DELETE (a
// virus scanner, an editor) makes the rename fail for as long as it does:
// a few tries over a second, then the app says it cannot.
bool replace_file(const char* from, const char* to) {
  constexpr int TRIES = 20;
  constexpr DWORD PAUSE_MS = 50;
  wchar_t wide_from[WIDE_CAPACITY];
  wchar_t wide_to[WIDE_CAPACITY];
  if (!to_wide(from, wide_from) || !to_wide(to, wide_to)) return false;
  for (int i = 1;; ++i) {
    if (MoveFileExW(wide_from, wide_to, MOVEFILE_REPLACE_EXISTING)) return true;
    DWORD error = GetLastError();
    if (i == TRIES ||
        (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
      return false;
    }
    Sleep(PAUSE_MS);
  }
}

void remove_file(const char* path) {
  wchar_t wide[WIDE_CAPACITY];
  if (to_wide(path, wide)) DeleteFileW(wide);
}

void on_stop(void (*clean_up)()) {
  stop_clean_up = clean_up;
  SetConsoleCtrlHandler(stop_on_console_event, TRUE);
}

unsigned long process_id() { return GetCurrentProcessId(); }

}  // namespace tavorin::example
