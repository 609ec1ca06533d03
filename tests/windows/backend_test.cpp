// The Windows backend's own rules, run under Wine: what needs the system's
// headers or its calls and so cannot run in the native unit tests.
#include <cstdio>

#include "platform/windows/error_codes.h"

namespace {

int failures = 0;

void check(bool ok, const char* what, int line) {
  if (ok) return;
  ++failures;
  std::fprintf(stderr, "backend_test.cpp:%d: failed: %s\n", line, what);
}

#define CHECK(condition) check((condition), #condition, __LINE__)

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

}  // namespace

int main() {
  error_codes_map_to_their_kinds();
  if (failures == 0) std::puts("windows backend: all checks passed");
  return failures == 0 ? 0 : 1;
}
