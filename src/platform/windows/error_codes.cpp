#include "platform/windows/error_codes.h"

namespace tavorin {

ErrorKind windows_error_kind(std::int32_t code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ErrorKind::NotFound;
    case ERROR_ACCESS_DENIED:
    case WSAEACCES: return ErrorKind::PermissionDenied;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ErrorKind::OutOfMemory;
    // A pipe whose other end has gone, on a read or a write.
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA: return ErrorKind::BrokenPipe;
    case ERROR_SEM_TIMEOUT:
    case WAIT_TIMEOUT:
    case ERROR_TIMEOUT:
    case WSAETIMEDOUT: return ErrorKind::TimedOut;
    case ERROR_NETWORK_UNREACHABLE:
    case WSAENETUNREACH: return ErrorKind::NetworkUnreachable;
    case ERROR_HOST_UNREACHABLE:
    case WSAEHOSTUNREACH: return ErrorKind::HostUnreachable;
    // A blocking call cancelled by WSACancelBlockingCall: worth retrying.
    case WSAEINTR: return ErrorKind::Interrupted;
    case WSAECONNABORTED: return ErrorKind::ConnectionAborted;
    case WSAECONNRESET: return ErrorKind::ConnectionReset;
    case WSAENOTCONN: return ErrorKind::NotConnected;
    case WSAECONNREFUSED: return ErrorKind::ConnectionRefused;
    default: return ErrorKind::Uncategorized;
  }
}

}  // namespace tavorin
