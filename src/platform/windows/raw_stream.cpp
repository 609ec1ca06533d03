#include "platform/windows/raw_stream.h"

#include <limits>

#include "platform/windows/error_codes.h"
#include "platform/windows/nt_api.h"

namespace tavorin {

namespace {

constexpr DWORD ERROR_BROKEN_PIPE_CODE = 109;
constexpr DWORD ERROR_NO_DATA_CODE = 232;

ULONG clamp_to_ulong(std::size_t size) {
  constexpr std::size_t LARGEST = std::numeric_limits<ULONG>::max();
  return static_cast<ULONG>(size < LARGEST ? size : LARGEST);
}

// A handle opened for overlapped use reports a request as pending; the
// handle itself is signalled when the request is done.
nt::Status wait_if_pending(HANDLE handle, nt::Status status,
                           const nt::IoStatusBlock& io_status) {
  if (status != nt::STATUS_PENDING_CODE) return status;
  WaitForSingleObject(handle, INFINITE);
  return io_status.status;
}

}  // namespace

Result<std::size_t> read_raw(HANDLE handle, std::span<char> buffer) {
  nt::IoStatusBlock io_status{};
  nt::Status status =
      NtReadFile(handle, nullptr, nullptr, nullptr, &io_status, buffer.data(),
                 clamp_to_ulong(buffer.size()), nullptr, nullptr);
  status = wait_if_pending(handle, status, io_status);
  if (status == nt::STATUS_END_OF_FILE_CODE) return 0;
  if (!nt::succeeded(status)) {
    DWORD code = RtlNtStatusToDosError(status);
    if (code == ERROR_BROKEN_PIPE_CODE || code == ERROR_NO_DATA_CODE) return 0;
    return std::unexpected(windows_error(code));
  }
  return io_status.information;
}

Result<std::size_t> write_raw(HANDLE handle, std::string_view bytes) {
  nt::IoStatusBlock io_status{};
  nt::Status status =
      NtWriteFile(handle, nullptr, nullptr, nullptr, &io_status, bytes.data(),
                  clamp_to_ulong(bytes.size()), nullptr, nullptr);
  status = wait_if_pending(handle, status, io_status);
  if (!nt::succeeded(status)) {
    return std::unexpected(windows_error(RtlNtStatusToDosError(status)));
  }
  return io_status.information;
}

}  // namespace tavorin
