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
  StdinReader& input = os.standard_input();
  // What the reader holds already is copied; the system reads the rest
  // straight in, and copies more than twice as fast into memory aligned to
  // 16 bytes. The text starts where that makes the rest land aligned.
  constexpr std::size_t ALIGNMENT = 16;
  Payload payload;
  payload.start = (ALIGNMENT - input.buffered() % ALIGNMENT) % ALIGNMENT;
  const std::size_t size = payload.start + length;
  // The storage is filled by the read itself, so it is not zeroed first.
  // The size is the one asked for, not whatever count the library offers:
  // some library versions hand the operation the grown capacity instead.
  payload.storage.resize_and_overwrite(
      size, [size](char*, std::size_t) { return size; });
  std::span<char> text(payload.storage.data() + payload.start, length);
  // Each piece is checked as the pipe delivers it, while it is still in the
  // cache and while Chrome writes the next.
  Utf8Checker checker;
  auto arrived = [&](std::size_t filled) {
    checker.check_arrived(std::string_view(text.data(), filled));
  };
  if (Status read = input.read_exact(text, arrived); !read) {
    return std::unexpected(read.error());
  }
  payload.well_formed = checker.finish(payload.text());
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
