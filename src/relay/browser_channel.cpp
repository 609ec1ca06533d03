#include "relay/browser_channel.h"

#include <array>
#include <limits>

#include "platform/platform.h"
#include "text/utf8_checker.h"

namespace tavorin {

Result<std::uint32_t> read_frame_length(Platform& os) {
  std::array<char, 4> prefix{};
  if (Status read = os.standard_input().read_exact(prefix); !read) {
    return std::unexpected(read.error());
  }
  std::uint32_t length = 0;
  for (std::size_t i = prefix.size(); i-- > 0;) {
    length = (length << 8) | static_cast<std::uint8_t>(prefix[i]);
  }
  return length;
}

Result<Payload> read_frame_payload(Platform& os, std::uint32_t length) {
  Payload payload;
  std::string& bytes = payload.bytes;
  // The buffer is filled by the read itself, so it is not zeroed first. The
  // size is the frame's length, not whatever count the library offers: some
  // library versions hand the operation the grown capacity instead.
  bytes.resize_and_overwrite(
      length, [length](char*, std::size_t) { return std::size_t{length}; });
  // Each piece is checked as the pipe delivers it, while it is still in the
  // cache and while Chrome writes the next.
  Utf8Checker checker;
  auto arrived = [&](std::size_t filled) {
    checker.check_arrived(std::string_view(bytes).substr(0, filled));
  };
  if (Status read = os.standard_input().read_exact(bytes, arrived); !read) {
    return std::unexpected(read.error());
  }
  payload.well_formed = checker.finish(bytes);
  return payload;
}

std::expected<void, FrameError> write_frame(Platform& os,
                                            std::string_view text) {
  // The length field has 32 bits: a longer answer must fail, not wrap
  // around into a frame that claims a fraction of it.
  if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
    return std::unexpected(
        FrameError{FrameStep::Length, ANSWER_TOO_LONG_ERROR});
  }
  const auto length = static_cast<std::uint32_t>(text.size());
  const std::array<char, 4> prefix = {static_cast<char>(length & 0xFF),
                                      static_cast<char>((length >> 8) & 0xFF),
                                      static_cast<char>((length >> 16) & 0xFF),
                                      static_cast<char>((length >> 24) & 0xFF)};
  StdoutWriter& out = os.standard_output();
  if (Status s = out.write_all({prefix.data(), prefix.size()}); !s) {
    return std::unexpected(FrameError{FrameStep::Length, s.error()});
  }
  if (Status s = out.write_all(text); !s) {
    return std::unexpected(FrameError{FrameStep::Bytes, s.error()});
  }
  if (Status s = out.flush(); !s) {
    return std::unexpected(FrameError{FrameStep::Flush, s.error()});
  }
  return {};
}

}  // namespace tavorin
