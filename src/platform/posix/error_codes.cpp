#include "platform/posix/error_codes.h"

namespace tavorin {

ErrorKind errno_error_kind(std::int32_t code) {
  switch (code) {
    case ENOENT:
    case ENOTDIR: return ErrorKind::NotFound;
    case EACCES:
    case EPERM: return ErrorKind::PermissionDenied;
    case ECONNREFUSED: return ErrorKind::ConnectionRefused;
    case ECONNRESET: return ErrorKind::ConnectionReset;
    case ECONNABORTED: return ErrorKind::ConnectionAborted;
    case ENOTCONN: return ErrorKind::NotConnected;
    case EHOSTUNREACH: return ErrorKind::HostUnreachable;
    case ENETUNREACH: return ErrorKind::NetworkUnreachable;
    case EPIPE: return ErrorKind::BrokenPipe;
    // A receive timeout shows as EAGAIN on a blocking socket.
    case EAGAIN:
    case ETIMEDOUT: return ErrorKind::TimedOut;
    case EINTR: return ErrorKind::Interrupted;
    case ENOMEM: return ErrorKind::OutOfMemory;
    default: return ErrorKind::Uncategorized;
  }
}

}  // namespace tavorin
