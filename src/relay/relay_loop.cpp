#include "relay/relay_loop.h"

#include <cstdint>
#include <string>

#include "log/log.h"
#include "relay/app_channel.h"
#include "relay/browser_channel.h"
#include "text/utf8.h"

namespace tavorin {

namespace {

enum class Turn : std::uint8_t { Next, End };

std::string_view frame_step_template(FrameStep step) {
  switch (step) {
    case FrameStep::Length: return "Error writing length to Chrome: {}";
    case FrameStep::Bytes: return "Error writing response to Chrome: {}";
    case FrameStep::Flush: return "Error flushing to Chrome: {}";
  }
  return "Error flushing to Chrome: {}";
}

// The app's answer to Chrome, as one frame.
Turn answer_chrome(Platform& os, std::string_view line,
                   std::int32_t message_count) {
  const std::string_view answer = trim_response(line);
  write_log_line(os, "Received response from app: {}", answer);
  if (auto framed = write_frame(os, answer); !framed) {
    write_log_line(os, frame_step_template(framed.error().step),
                   framed.error().error);
    return Turn::End;
  }
  write_log_line(os, "Successfully relayed response #{} to Chrome",
                 message_count);
  return Turn::Next;
}

// One message from Chrome to the app and its answer back.
Turn relay_one_message(Platform& os, const Socket& connection,
                       AppReader& reader, std::int32_t& message_count) {
  Result<std::uint32_t> length = read_frame_length(os);
  if (!length) {
    if (length.error().kind() == ErrorKind::UnexpectedEof) {
      write_log_line(os, "Chrome disconnected (EOF) after {} messages",
                     message_count);
    } else {
      write_log_line(os, "Error reading from Chrome: {}", length.error());
    }
    return Turn::End;
  }
  ++message_count;
  write_log_line(os, "Received message #{} from Chrome", message_count);
  if (*length == 0 || *length > MAX_MESSAGE_LENGTH) {
    write_log_line(os, "Invalid message length: {} bytes", *length);
    return Turn::End;
  }

  Result<Payload> payload = read_frame_payload(os, *length);
  if (!payload) {
    write_log_line(os, "Error reading message payload: {}", payload.error());
    return Turn::End;
  }
  // Ill-formed text is mended only when the check found some.
  std::string mended;
  std::string_view message = payload->text();
  if (!payload->well_formed) {
    mended = decode_payload(message);
    message = mended;
  }
  write_log_line(os, "Relaying message to app: {}", trim_for_log(message));

  if (auto sent = send_line(os, connection, message); !sent) {
    write_log_line(os,
                   sent.error().step == LineStep::Text
                       ? "Error writing to app: {}"
                       : "Error writing newline: {}",
                   sent.error().error);
    return Turn::End;
  }

  Result<std::string_view> line = read_response_line(reader);
  if (!line) {
    write_log_line(os, "Error reading from app: {}", line.error());
    return Turn::End;
  }
  if (line->empty()) {
    write_log_line(os, "App disconnected (no response)");
    return Turn::End;
  }
  const Turn next = answer_chrome(os, *line, message_count);
  reader.finish_line();
  return next;
}

}  // namespace

Status run_proxy(Platform& os, Socket connection) {
  write_log_line(os, "Setting up communication channels...");
  if (Status timeout = set_app_read_timeout(os, connection); !timeout) {
    return timeout;
  }
  disable_send_delay(os, connection);
  Result<AppReader> reader = open_app_reader(os, connection);
  if (!reader) return std::unexpected(reader.error());
  write_log_line(os, "Proxy mode active - ready to relay messages");

  std::int32_t message_count = 0;
  while (relay_one_message(os, connection, *reader, message_count) ==
         Turn::Next) {
  }
  write_log_line(os, "Proxy loop ended after {} messages", message_count);
  return {};
}

}  // namespace tavorin
