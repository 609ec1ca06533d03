#include "platform/windows/standard_streams.h"

#include "platform/windows/console_output.h"
#include "platform/windows/error_codes.h"
#include "platform/windows/raw_stream.h"

namespace tavorin {

namespace {

bool is_console(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

// The handle behind a standard stream, or null when the process has none.
// A launcher may hand over INVALID_HANDLE_VALUE for a stream it does not
// provide, and GetStdHandle gives the same value when it fails; either way
// there is no stream, and the thread's last error is stale, not ours.
HANDLE std_handle(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

Result<std::size_t> write_to(DWORD which, ConsoleCarry& carry,
                             std::string_view bytes) {
  HANDLE handle = std_handle(which);
  if (handle == nullptr) return bytes.size();
  if (is_console(handle)) return write_console(handle, carry, bytes);
  return write_raw(handle, bytes);
}

}  // namespace

Result<std::size_t> write_std_handle(DWORD which, ConsoleCarry& carry,
                                     std::string_view bytes) {
  Result<std::size_t> written = write_to(which, carry, bytes);
  if (!written && is_missing_stream(written.error())) return bytes.size();
  return written;
}

Result<std::size_t> WindowsPlatform::write_stdout(std::string_view bytes) {
  return write_std_handle(STD_OUTPUT_HANDLE, stdout_carry_, bytes);
}

Result<std::size_t> WindowsPlatform::write_stderr(std::string_view bytes) {
  return write_std_handle(STD_ERROR_HANDLE, stderr_carry_, bytes);
}

Result<std::size_t> WindowsPlatform::read_input(std::span<char> buffer) {
  HANDLE handle = std_handle(STD_INPUT_HANDLE);
  if (handle == nullptr) return 0;
  if (is_console(handle)) return read_console(handle, buffer);
  return read_raw(handle, buffer);
}

Result<std::size_t> WindowsPlatform::read_stdin(std::span<char> buffer) {
  Result<std::size_t> got = read_input(buffer);
  if (!got && is_missing_stream(got.error())) return 0;
  return got;
}

}  // namespace tavorin
