#pragma once

#include <cstdint>
#include <expected>
#include <string_view>

namespace tavorin {

// The error kinds the host can meet. Only three are ever tested by callers:
// UnexpectedEof (a browser that went away), BrokenPipe (end of standard
// input) and Interrupted (retried by the transfer loops).
enum class ErrorKind : std::uint8_t {
  NotFound,
  PermissionDenied,
  ConnectionRefused,
  ConnectionReset,
  ConnectionAborted,
  NotConnected,
  HostUnreachable,
  NetworkUnreachable,
  BrokenPipe,
  TimedOut,
  InvalidData,
  WriteZero,
  UnexpectedEof,
  Interrupted,
  OutOfMemory,
  Uncategorized,
};

std::string_view kind_description(ErrorKind kind);

// The value every failing operation yields. Messages always point at static
// text, so an error is a small value that copies freely.
class IoError {
 public:
  enum class Form : std::uint8_t { System, KindOnly, Fixed, Custom };

  static constexpr IoError system(std::int32_t code, ErrorKind kind) {
    return IoError{Form::System, kind, code, {}};
  }
  static constexpr IoError kind_only(ErrorKind kind) {
    return IoError{Form::KindOnly, kind, 0, {}};
  }
  static constexpr IoError fixed(ErrorKind kind, std::string_view message) {
    return IoError{Form::Fixed, kind, 0, message};
  }
  static constexpr IoError custom(ErrorKind kind, std::string_view message) {
    return IoError{Form::Custom, kind, 0, message};
  }

  constexpr Form form() const { return form_; }
  constexpr ErrorKind kind() const { return kind_; }
  constexpr std::int32_t code() const { return code_; }
  constexpr std::string_view message() const { return message_; }
  constexpr bool is_system_code(std::int32_t code) const {
    return form_ == Form::System && code_ == code;
  }

 private:
  constexpr IoError(Form form, ErrorKind kind, std::int32_t code,
                    std::string_view message)
      : form_(form), kind_(kind), code_(code), message_(message) {}

  Form form_;
  ErrorKind kind_;
  std::int32_t code_;
  std::string_view message_;
};

template <typename T>
using Result = std::expected<T, IoError>;

using Status = std::expected<void, IoError>;

// The fixed-message errors of the platform layer.
inline constexpr IoError WRITE_ZERO_ERROR =
    IoError::fixed(ErrorKind::WriteZero, "failed to write whole buffer");
inline constexpr IoError FILL_BUFFER_ERROR =
    IoError::fixed(ErrorKind::UnexpectedEof, "failed to fill whole buffer");
inline constexpr IoError INVALID_UTF8_ERROR = IoError::fixed(
    ErrorKind::InvalidData, "stream did not contain valid UTF-8");
inline constexpr IoError CONSOLE_NON_UTF8_ERROR =
    IoError::fixed(ErrorKind::InvalidData,
                   "Windows stdio in console mode does not support writing "
                   "non-UTF-8 byte sequences");
inline constexpr IoError CONSOLE_UNPAIRED_SURROGATE_ERROR =
    IoError::fixed(ErrorKind::InvalidData,
                   "Windows stdin in console mode does not support non-UTF-16 "
                   "input; encountered unpaired surrogate");

inline constexpr IoError NOT_A_SMALL_FILE_ERROR =
    IoError::fixed(ErrorKind::InvalidData, "not a small regular file");
inline constexpr IoError FOREIGN_LISTENER_ERROR = IoError::fixed(
    ErrorKind::PermissionDenied, "the listener belongs to another user");

// A missing standard stream reports this code; writes to it count as done.
inline constexpr std::int32_t ERROR_INVALID_HANDLE_CODE = 6;

}  // namespace tavorin
