#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/io_error.h"
#include "platform/socket.h"

namespace tavorin {

// Each single wait for the app's answer is limited, so a hung app cannot
// hold the browser's port open forever.
inline constexpr std::chrono::milliseconds APP_READ_TIMEOUT{5000};
inline constexpr std::size_t APP_READER_CAPACITY = 8192;

// Reads the app's answers through its own handle to the connection, so that
// bytes after one answer line wait for the next message.
class AppReader {
 public:
  AppReader(Platform& os, Socket socket)
      : os_(os), socket_(std::move(socket)) {}

  // Every byte up to and including the next line feed, or up to the end of
  // the stream, in `line` (which is cleared first). Returns the count of
  // bytes; 0 means the app closed the connection.
  Result<std::size_t> read_line(std::string& line);

 private:
  bool take_pending(std::string& line);
  Result<std::size_t> receive_into(std::string& line);

  Platform& os_;
  Socket socket_;
  // Bytes received after the line feed of an earlier answer.
  std::string pending_;
  std::size_t pending_start_ = 0;
};

Status set_app_read_timeout(Platform& os, const Socket& socket);

// Sends each line at once instead of letting Nagle's algorithm hold the
// closing line feed back until the app acknowledges the text. Best effort:
// without it the relay is only slower.
void disable_send_delay(Platform& os, const Socket& socket);

Result<AppReader> open_app_reader(Platform& os, const Socket& socket);

enum class LineStep : std::uint8_t { Text, Newline };

struct SendLineError {
  LineStep step;
  IoError error;
};

// The text, then a line feed as a write of its own.
std::expected<void, SendLineError> send_line(Platform& os, const Socket& socket,
                                             std::string_view text);

// A response line, valid UTF-8 or "stream did not contain valid UTF-8".
Result<std::size_t> read_response_line(AppReader& reader, std::string& line);

// The app's answer as Chrome gets it: trailing white space (the line feed
// among it) removed, leading white space kept.
std::string_view trim_response(std::string_view line);

// A message as the log shows it: white space removed at both ends.
std::string_view trim_for_log(std::string_view text);

}  // namespace tavorin
