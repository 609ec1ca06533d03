#include "relay/app_channel.h"

#include <algorithm>
#include <cstring>

#include "platform/transfer.h"
#include "text/white_space.h"

namespace tavorin {

Result<std::size_t> AppReader::receive_more() {
  Result<std::span<char>> room = buffer_.room(APP_READER_CAPACITY);
  if (!room) return std::unexpected(room.error());
  // Never more than the longest answer a frame can carry.
  std::size_t allowed = MAX_ANSWER_LINE - buffer_.pending().size();
  std::span<char> into = room->first(std::min(room->size(), allowed));
  for (;;) {
    Result<std::size_t> got = os_.receive(socket_.handle(), into);
    if (!got && got.error().kind() == ErrorKind::Interrupted) continue;
    if (got) {
      buffer_.received(*got);
      // Checked as it lands, while the app's next bytes are on their way.
      checker_.check_arrived(buffer_.pending());
    }
    return got;
  }
}

// The length of the line at the start of the pending bytes, searching only
// what no earlier call has searched; 0 when no line feed has come yet.
std::size_t AppReader::find_line_end() {
  std::string_view pending = buffer_.pending();
  std::string_view fresh = pending.substr(searched_);
  searched_ = pending.size();
  if (fresh.empty()) return 0;
  const void* newline = std::memchr(fresh.data(), '\n', fresh.size());
  if (newline == nullptr) return 0;
  return static_cast<std::size_t>(static_cast<const char*>(newline) -
                                  pending.data()) +
         1;
}

Result<std::string_view> AppReader::read_line() {
  for (;;) {
    if (std::size_t end = find_line_end(); end > 0) {
      line_size_ = end;
      return checked_line();
    }
    if (buffer_.pending().size() >= MAX_ANSWER_LINE) {
      return std::unexpected(ANSWER_TOO_LONG_ERROR);
    }
    Result<std::size_t> got = receive_more();
    if (!got) return std::unexpected(got.error());
    if (*got == 0) {
      line_size_ = buffer_.pending().size();
      return checked_line();
    }
  }
}

// The line, or "stream did not contain valid UTF-8" with the line already
// taken away.
Result<std::string_view> AppReader::checked_line() {
  std::string_view line = buffer_.pending().substr(0, line_size_);
  if (checker_.finish(line)) return line;
  finish_line();
  return std::unexpected(INVALID_UTF8_ERROR);
}

void AppReader::finish_line() {
  checker_.drop_front(line_size_);
  buffer_.take(line_size_);
  line_size_ = 0;
  searched_ = 0;
  buffer_.give_back_spare_memory();
}

Status set_app_read_timeout(Platform& os, const Socket& socket) {
  return os.set_receive_timeout(socket.handle(), APP_READ_TIMEOUT);
}

void disable_send_delay(Platform& os, const Socket& socket) {
  (void)os.set_no_delay(socket.handle());
}

Result<AppReader> open_app_reader(Platform& os, const Socket& socket) {
  Result<SocketHandle> duplicate = os.duplicate_socket(socket.handle());
  if (!duplicate) return std::unexpected(duplicate.error());
  return Result<AppReader>(std::in_place, os, Socket(os, *duplicate));
}

std::expected<void, SendLineError> send_line(Platform& os, const Socket& socket,
                                             std::string_view text) {
  // A short text waits in the system for its line feed, so the line leaves
  // as one segment; a long one fills its segments anyway.
  constexpr std::size_t SHORT_LINE = 16384;
  auto send_text = [&](std::string_view rest) {
    return text.size() < SHORT_LINE ? os.send_part(socket.handle(), rest)
                                    : os.send(socket.handle(), rest);
  };
  if (Status sent = write_fully(send_text, text); !sent) {
    return std::unexpected(SendLineError{LineStep::Text, sent.error()});
  }
  auto send_newline = [&](std::string_view rest) {
    return os.send(socket.handle(), rest);
  };
  if (Status sent = write_fully(send_newline, "\n"); !sent) {
    return std::unexpected(SendLineError{LineStep::Newline, sent.error()});
  }
  return {};
}

Result<std::string_view> read_response_line(AppReader& reader) {
  return reader.read_line();
}

std::string_view trim_response(std::string_view line) { return trim_end(line); }

std::string_view trim_for_log(std::string_view text) { return trim(text); }

}  // namespace tavorin
