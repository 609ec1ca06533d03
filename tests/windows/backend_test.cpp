// The Windows backend's own rules, run under Wine: what needs the system's
// headers or its calls and so cannot run in the native unit tests.
#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "checks.h"
#include "console_checks.h"
#include "owner_checks.h"
#include "platform/windows/error_codes.h"
#include "platform/windows/windows_platform.h"
#include "text/utf8.h"

namespace {

using tavorin::ErrorKind;
using tavorin::windows_error_kind;

void error_codes_map_to_their_kinds() {
  CHECK(windows_error_kind(ERROR_FILE_NOT_FOUND) == ErrorKind::NotFound);
  CHECK(windows_error_kind(ERROR_PATH_NOT_FOUND) == ErrorKind::NotFound);
  CHECK(windows_error_kind(ERROR_ACCESS_DENIED) == ErrorKind::PermissionDenied);
  CHECK(windows_error_kind(WSAEACCES) == ErrorKind::PermissionDenied);
  CHECK(windows_error_kind(ERROR_BROKEN_PIPE) == ErrorKind::BrokenPipe);
  CHECK(windows_error_kind(ERROR_NO_DATA) == ErrorKind::BrokenPipe);
  CHECK(windows_error_kind(WSAETIMEDOUT) == ErrorKind::TimedOut);
  CHECK(windows_error_kind(WSAECONNREFUSED) == ErrorKind::ConnectionRefused);
  CHECK(windows_error_kind(WSAECONNRESET) == ErrorKind::ConnectionReset);
  CHECK(windows_error_kind(WSAECONNABORTED) == ErrorKind::ConnectionAborted);
  CHECK(windows_error_kind(WSAENOTCONN) == ErrorKind::NotConnected);
  CHECK(windows_error_kind(ERROR_HOST_UNREACHABLE) ==
        ErrorKind::HostUnreachable);
  CHECK(windows_error_kind(WSAEHOSTUNREACH) == ErrorKind::HostUnreachable);
  CHECK(windows_error_kind(ERROR_NETWORK_UNREACHABLE) ==
        ErrorKind::NetworkUnreachable);
  CHECK(windows_error_kind(WSAENETUNREACH) == ErrorKind::NetworkUnreachable);
  // The one kind the host retries on.
  CHECK(windows_error_kind(WSAEINTR) == ErrorKind::Interrupted);
  CHECK(windows_error_kind(ERROR_OUTOFMEMORY) == ErrorKind::OutOfMemory);
  CHECK(windows_error_kind(ERROR_INVALID_HANDLE) == ErrorKind::Uncategorized);
  CHECK(windows_error_kind(WSAESHUTDOWN) == ErrorKind::Uncategorized);
}

// A launcher that gives no standard error may pass a null handle or
// INVALID_HANDLE_VALUE; both are a missing stream, whatever the thread's
// last error says.
void missing_standard_streams_take_writes_and_read_nothing() {
  for (HANDLE missing : {HANDLE{nullptr}, INVALID_HANDLE_VALUE}) {
    SetStdHandle(STD_ERROR_HANDLE, missing);
    SetStdHandle(STD_INPUT_HANDLE, missing);
    SetLastError(ERROR_ACCESS_DENIED);
    tavorin::WindowsPlatform os;
    tavorin::Result<std::size_t> written = os.write_stderr("lost line\n");
    CHECK(written.has_value() && *written == 10);
    std::array<char, 8> buffer{};
    tavorin::Result<std::size_t> got = os.read_stdin(buffer);
    CHECK(got.has_value() && *got == 0);
  }
}

// The UTF-8 engines as the cross compiler builds them: the Windows stack
// keeps only 16-byte alignment, which 32-byte registers must live with.
void utf8_engines_agree() {
  std::string text;
  for (int i = 0; i < 40; ++i)
    text += "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\xA7 ";
  for (tavorin::Utf8Engine engine :
       {tavorin::Utf8Engine::Scalar, tavorin::Utf8Engine::Sse,
        tavorin::Utf8Engine::Avx2}) {
    CHECK(tavorin::is_valid_utf8_with(engine, text));
    CHECK(tavorin::valid_utf8_prefix_with(engine, text + "\xED\xA0\x80") ==
          text.size());
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using namespace tavorin::windows_checks;
  if (argc > 2 && std::wstring_view(argv[1]) == L"--console") {
    return console_child(argv[2]);
  }
  // A child that only has to exist: it is started suspended and ended.
  if (argc > 1 && std::wstring_view(argv[1]) == L"--idle") return 0;
  error_codes_map_to_their_kinds();
  missing_standard_streams_take_writes_and_read_nothing();
  utf8_engines_agree();
  console_text_shows_whole(argv[0]);
  listener_owner_pieces_work(argv[0]);
  if (failures == 0) std::puts("windows backend: all checks passed");
  return failures == 0 ? 0 : 1;
}
