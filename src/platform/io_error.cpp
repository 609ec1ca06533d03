#include "platform/io_error.h"

namespace tavorin {

std::string_view kind_description(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::NotFound: return "entity not found";
    case ErrorKind::PermissionDenied: return "permission denied";
    case ErrorKind::ConnectionRefused: return "connection refused";
    case ErrorKind::ConnectionReset: return "connection reset";
    case ErrorKind::ConnectionAborted: return "connection aborted";
    case ErrorKind::NotConnected: return "not connected";
    case ErrorKind::HostUnreachable: return "host unreachable";
    case ErrorKind::NetworkUnreachable: return "network unreachable";
    case ErrorKind::BrokenPipe: return "broken pipe";
    case ErrorKind::TimedOut: return "timed out";
    case ErrorKind::InvalidData: return "invalid data";
    case ErrorKind::WriteZero: return "write zero";
    case ErrorKind::UnexpectedEof: return "unexpected end of file";
    case ErrorKind::Interrupted: return "operation interrupted";
    case ErrorKind::OutOfMemory: return "out of memory";
    case ErrorKind::Uncategorized: return "uncategorized error";
  }
  return "uncategorized error";
}

ErrorKind windows_error_kind(std::int32_t code) {
  switch (code) {
    case 2:  // ERROR_FILE_NOT_FOUND
    case 3:  // ERROR_PATH_NOT_FOUND
      return ErrorKind::NotFound;
    case 5:      // ERROR_ACCESS_DENIED
    case 10013:  // WSAEACCES
      return ErrorKind::PermissionDenied;
    case 8:   // ERROR_NOT_ENOUGH_MEMORY
    case 14:  // ERROR_OUTOFMEMORY
      return ErrorKind::OutOfMemory;
    case 109:  // ERROR_BROKEN_PIPE
    case 232:  // ERROR_NO_DATA
      return ErrorKind::BrokenPipe;
    case 121:    // ERROR_SEM_TIMEOUT
    case 258:    // WAIT_TIMEOUT
    case 1460:   // ERROR_TIMEOUT
    case 10060:  // WSAETIMEDOUT
      return ErrorKind::TimedOut;
    case 1231:   // ERROR_NETWORK_UNREACHABLE
    case 10051:  // WSAENETUNREACH
      return ErrorKind::NetworkUnreachable;
    case 1232:   // ERROR_HOST_UNREACHABLE
    case 10065:  // WSAEHOSTUNREACH
      return ErrorKind::HostUnreachable;
    case 10004: return ErrorKind::Interrupted;  // WSAEINTR
    case 10053: return ErrorKind::ConnectionAborted;
    case 10054: return ErrorKind::ConnectionReset;
    case 10057: return ErrorKind::NotConnected;
    case 10061: return ErrorKind::ConnectionRefused;
    default: return ErrorKind::Uncategorized;
  }
}

}  // namespace tavorin
