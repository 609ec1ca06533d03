#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/io_error.h"
#include "platform/socket.h"
#include "relay/answer_buffer.h"
#include "text/utf8_checker.h"

namespace tavorin {

// Each single wait for the app's answer is limited, so a hung app cannot
// hold the browser's port open forever.
inline constexpr std::chrono::milliseconds APP_READ_TIMEOUT{5000};

// A frame's length has 32 bits: an answer line this long (its line feed
// included) is the longest that can reach the browser, and the reader
// stops there rather than keep an app that never ends its line in memory.
inline constexpr std::size_t MAX_ANSWER_LINE = std::size_t{1} << 32;

// Reads the app's answers through its own handle to the connection, so that
// bytes after one answer line wait for the next message.
class AppReader {
 public:
  AppReader(Platform& os, Socket socket)
      : os_(os), socket_(std::move(socket)), buffer_(os) {}

  // Every byte up to and including the next line feed, or up to the end of
  // the stream, as a view valid until finish_line(). Empty when the app
  // closed the connection before sending anything. A line that is not
  // UTF-8 gives "stream did not contain valid UTF-8", and is taken away.
  Result<std::string_view> read_line();

  // The line is done with: its bytes go, and memory grown for an oversized
  // answer goes back to the system.
  void finish_line();

 private:
  Result<std::size_t> receive_more();
  std::size_t find_line_end();
  Result<std::string_view> checked_line();

  Platform& os_;
  Socket socket_;
  AnswerBuffer buffer_;
  Utf8Checker checker_;
  // Pending bytes already searched for a line feed.
  std::size_t searched_ = 0;
  std::size_t line_size_ = 0;
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

// A response line, valid UTF-8 or "stream did not contain valid UTF-8"
// (and then already taken away).
Result<std::string_view> read_response_line(AppReader& reader);

// The app's answer as Chrome gets it: trailing white space (the line feed
// among it) removed, leading white space kept.
std::string_view trim_response(std::string_view line);

// A message as the log shows it: white space removed at both ends.
std::string_view trim_for_log(std::string_view text);

}  // namespace tavorin
