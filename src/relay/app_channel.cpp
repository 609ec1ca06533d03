#include "relay/app_channel.h"

#include <algorithm>
#include <cstring>

#include "platform/transfer.h"
#include "relay/utf8.h"
#include "shim/white_space.h"

namespace tavorin {

Result<std::size_t> AppReader::fill() {
  for (;;) {
    Result<std::size_t> got = os_.receive(socket_.handle(), buffer_);
    if (!got && got.error().kind() == ErrorKind::Interrupted) continue;
    if (!got) return got;
    start_ = 0;
    end_ = *got;
    return got;
  }
}

Result<std::size_t> AppReader::read_line(std::string& line) {
  line.clear();
  for (;;) {
    if (start_ == end_) {
      Result<std::size_t> got = fill();
      if (!got) return std::unexpected(got.error());
      if (*got == 0) return line.size();
    }
    const char* begin = buffer_.data() + start_;
    const char* stop = buffer_.data() + end_;
    const char* newline = std::find(begin, stop, '\n');
    const char* take_end = newline == stop ? stop : newline + 1;
    line.append(begin, take_end);
    start_ += static_cast<std::size_t>(take_end - begin);
    if (newline != stop) return line.size();
  }
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
  auto send_some = [&](std::string_view rest) {
    return os.send(socket.handle(), rest);
  };
  if (Status sent = write_fully(send_some, text); !sent) {
    return std::unexpected(SendLineError{LineStep::Text, sent.error()});
  }
  if (Status sent = write_fully(send_some, "\n"); !sent) {
    return std::unexpected(SendLineError{LineStep::Newline, sent.error()});
  }
  return {};
}

Result<std::size_t> read_response_line(AppReader& reader, std::string& line) {
  Result<std::size_t> count = reader.read_line(line);
  if (count && !is_valid_utf8(line)) {
    line.clear();
    return std::unexpected(INVALID_UTF8_ERROR);
  }
  return count;
}

std::string_view trim_response(std::string_view line) { return trim_end(line); }

std::string_view trim_for_log(std::string_view text) { return trim(text); }

}  // namespace tavorin
