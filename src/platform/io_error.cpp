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

}  // namespace tavorin
