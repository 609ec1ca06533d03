#include "console_checks.h"

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "checks.h"
#include "platform/windows/console_output.h"
#include "platform/windows/windows_platform.h"

namespace tavorin::windows_checks {

namespace {

// Room for the longest line below without scrolling.
constexpr SHORT CONSOLE_WIDTH = 250;
constexpr SHORT CONSOLE_HEIGHT = 100;
constexpr UINT UTF8 = 65001;
constexpr UINT OTHER_CODE_PAGE = 437;

HANDLE console_output() {
  return CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     0, nullptr);
}

// Empties the screen and puts the cursor home, so each check reads from
// the top.
void clear(HANDLE console) {
  DWORD done = 0;
  FillConsoleOutputCharacterW(console, L' ', CONSOLE_WIDTH * CONSOLE_HEIGHT,
                              COORD{0, 0}, &done);
  SetConsoleCursorPosition(console, COORD{0, 0});
}

// What the screen shows from its top, as UTF-16, `cells` units long.
std::wstring shown(HANDLE console, std::size_t cells) {
  std::wstring text(cells, L'\0');
  DWORD read = 0;
  ReadConsoleOutputCharacterW(console, text.data(), static_cast<DWORD>(cells),
                              COORD{0, 0}, &read);
  text.resize(read);
  return text;
}

// Standard error, written the host's way: each piece until taken whole.
bool write_pieces(Platform& os,
                  std::initializer_list<std::string_view> pieces) {
  for (std::string_view piece : pieces) {
    while (!piece.empty()) {
      Result<std::size_t> taken = os.write_stderr(piece);
      if (!taken || *taken == 0) return false;
      piece.remove_prefix(*taken);
    }
  }
  return true;
}

// Characters of two, three and four bytes, each cut between two writes:
// the console shows each whole, as one character.
void cut_characters_show_whole(HANDLE console) {
  SetConsoleOutputCP(OTHER_CODE_PAGE);
  clear(console);
  WindowsPlatform os;
  CHECK(write_pieces(os, {"cut \xC3", "\xA9 \xE2\x82", "\xAC \xF0\x9F", "\x94",
                          "\xA7 end\n"}));
  CHECK(shown(console, 14) == L"cut \u00E9 \u20AC \U0001F527 end");
}

// Bytes that are no UTF-8, at once or where a cut character should go on,
// are refused with the console's own error.
void ill_formed_bytes_are_refused() {
  SetConsoleOutputCP(OTHER_CODE_PAGE);
  WindowsPlatform os;
  auto refused = [](const Result<std::size_t>& written) {
    return !written && written.error().kind() == ErrorKind::InvalidData &&
           written.error().message() == CONSOLE_NON_UTF8_ERROR.message();
  };
  CHECK(refused(os.write_stderr("\xFF")));
  CHECK(os.write_stderr("\xC3").has_value());
  CHECK(refused(os.write_stderr("A")));
}

// What a long line is made of: its UTF-8 and what the screen shows.
struct LongLine {
  const char* what;
  std::string bytes;
  std::wstring shown;
};

LongLine repeated(const char* what, std::size_t count, std::string_view bytes,
                  std::wstring_view shown) {
  LongLine line{what, "x", L"x"};
  for (std::size_t i = 0; i < count; ++i) {
    line.bytes += bytes;
    line.shown += shown;
  }
  return line;
}

void* no_memory(std::size_t) { return nullptr; }

// Lines longer than the stack's buffer in UTF-16 units, with characters
// straddling every 4 KiB, show whole on a UTF-8 console and on another,
// from the heap's buffer and, when the heap has nothing to give, from the
// stack's pieces.
void long_lines_show_whole(HANDLE console) {
  const LongLine lines[] = {
      repeated("2-byte characters", 3000, "\xC3\xA9", L"\u00E9"),
      repeated("ASCII of 5,000 bytes", 4999, "a", L"a"),
      repeated("ASCII of 20,000 bytes", 19999, "a", L"a"),
      repeated("4-byte characters", 3000, "\xF0\x9F\x94\xA7", L"\U0001F527"),
  };
  for (bool heap : {true, false}) {
    replace_console_buffer_allocator(heap ? nullptr : no_memory);
    for (const LongLine& line : lines) {
      for (UINT code_page : {UTF8, OTHER_CODE_PAGE}) {
        SetConsoleOutputCP(code_page);
        clear(console);
        WindowsPlatform os;
        CHECK(write_pieces(os, {line.bytes}));
        if (shown(console, line.shown.size()) != line.shown) {
          std::fprintf(report_file, "  %s, code page %u, %s\n", line.what,
                       code_page, heap ? "heap" : "stack");
          CHECK(false);
        }
      }
    }
  }
  replace_console_buffer_allocator(nullptr);
}

// A console with no window: what the child writes is rendered into a pipe,
// which a thread of its own keeps reading, or the console would stop
// taking text.
class PseudoConsole {
 public:
  PseudoConsole() {
    HANDLE input_read = nullptr;
    HANDLE output_write = nullptr;
    CreatePipe(&input_read, &input_write_, nullptr, 0);
    CreatePipe(&output_read_, &output_write, nullptr, 0);
    HRESULT made = CreatePseudoConsole(COORD{CONSOLE_WIDTH, CONSOLE_HEIGHT},
                                       input_read, output_write, 0, &console_);
    if (made != S_OK) console_ = nullptr;
    CloseHandle(input_read);
    CloseHandle(output_write);
    drain_ = CreateThread(nullptr, 0, drain, output_read_, 0, nullptr);
  }
  ~PseudoConsole() {
    if (console_ != nullptr) ClosePseudoConsole(console_);
    WaitForSingleObject(drain_, 30000);
    for (HANDLE handle : {drain_, output_read_, input_write_}) {
      CloseHandle(handle);
    }
  }
  bool opened() const { return console_ != nullptr; }

  // Runs the command attached to the console; its exit code, or 1 when it
  // could not start.
  DWORD run(std::wstring command) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::string storage(size, '\0');
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    InitializeProcThreadAttributeList(list, 1, 0, &size);
    UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE,
                              console_, sizeof console_, nullptr, nullptr);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = list;
    PROCESS_INFORMATION child{};
    DWORD status = 1;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                       EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                       &startup.StartupInfo, &child)) {
      WaitForSingleObject(child.hProcess, 30000);
      GetExitCodeProcess(child.hProcess, &status);
      CloseHandle(child.hProcess);
      CloseHandle(child.hThread);
    }
    DeleteProcThreadAttributeList(list);
    return status;
  }

 private:
  static DWORD WINAPI drain(void* pipe) {
    std::array<char, 4096> sink;
    DWORD got = 0;
    while (ReadFile(pipe, sink.data(), sink.size(), &got, nullptr) && got > 0) {
    }
    return 0;
  }

  HPCON console_ = nullptr;
  HANDLE input_write_ = nullptr;
  HANDLE output_read_ = nullptr;
  HANDLE drain_ = nullptr;
};

void show_and_remove(const std::wstring& report) {
  if (FILE* lines = _wfopen(report.c_str(), L"r")) {
    std::array<char, 512> line;
    while (std::fgets(line.data(), line.size(), lines) != nullptr) {
      std::fputs(line.data(), stderr);
    }
    std::fclose(lines);
  }
  DeleteFileW(report.c_str());
}

}  // namespace

int console_child(const wchar_t* report_path) {
  // Failures go to a file the parent shows: a process in a pseudo console
  // has the console for its standard streams, whatever it was handed.
  report_file = _wfopen(report_path, L"w");
  if (report_file == nullptr) return 1;
  HANDLE console = console_output();
  SetStdHandle(STD_ERROR_HANDLE, console);
  cut_characters_show_whole(console);
  ill_formed_bytes_are_refused();
  long_lines_show_whole(console);
  std::fclose(report_file);
  return failures;
}

void console_text_shows_whole(const wchar_t* this_program) {
  // Beside this program: the prefix's temporary folder may be a test's.
  const std::wstring report = std::wstring(this_program) + L".console.txt";
  PseudoConsole console;
  CHECK(console.opened());
  DWORD child_failures = console.run(L"\"" + std::wstring(this_program) +
                                     L"\" --console \"" + report + L"\"");
  CHECK(child_failures == 0);
  show_and_remove(report);
}

}  // namespace tavorin::windows_checks
