#include "relay/app_channel.h"

#include <algorithm>
#include <cstring>

#include "platform/transfer.h"
#include "text/utf8.h"
#include "text/white_space.h"

namespace tavorin {

bool AppReader::take_pending(std::string& line) {
  std::string_view rest = std::string_view(pending_).substr(pending_start_);
  const char* newline =
      static_cast<const char*>(std::memchr(rest.data(), '\n', rest.size()));
  if (newline == nullptr) {
    line.append(rest);
    pending_.clear();
    pending_start_ = 0;
    return false;
  }
  std::size_t take = static_cast<std::size_t>(newline - rest.data()) + 1;
  line.append(rest.substr(0, take));
  pending_start_ += take;
  return true;
}

// Receives straight into the line's spare room (at least a reader buffer's
// worth), so an answer is copied once, from the system into the line.
Result<std::size_t> AppReader::receive_into(std::string& line) {
  const std::size_t before = line.size();
  const std::size_t room =
      std::max(APP_READER_CAPACITY, line.capacity() - before);
  line.resize_and_overwrite(
      before + room,
      [size = before + room](char*, std::size_t) { return size; });
  for (;;) {
    Result<std::size_t> got =
        os_.receive(socket_.handle(), std::span(line.data() + before, room));
    if (!got && got.error().kind() == ErrorKind::Interrupted) continue;
    line.resize(before + (got ? *got : 0));
    return got;
  }
}

Result<std::size_t> AppReader::read_line(std::string& line) {
  line.clear();
  if (take_pending(line)) return line.size();
  for (;;) {
    const std::size_t before = line.size();
    Result<std::size_t> got = receive_into(line);
    if (!got) return std::unexpected(got.error());
    if (*got == 0) return line.size();
    const char* newline =
        static_cast<const char*>(std::memchr(line.data() + before, '\n', *got));
    if (newline != nullptr) {
      std::size_t end = static_cast<std::size_t>(newline - line.data()) + 1;
      pending_.assign(line, end);
      pending_start_ = 0;
      line.resize(end);
      return line.size();
    }
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
