#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/io_error.h"

namespace tavorin {

class Platform;

// Chrome sends at most this much to a host in one frame as far as this host
// is concerned; a longer (or empty) frame ends the relay.
inline constexpr std::uint32_t MAX_MESSAGE_LENGTH = 1048576;

// The 4-byte little-endian length of the next frame. Input that ends before
// the fourth byte is an UnexpectedEof error: Chrome has gone.
Result<std::uint32_t> read_frame_length(Platform& os);

// A frame's payload, and whether it is well-formed UTF-8. Its text starts a
// few bytes into the storage (see read_frame_payload).
struct Payload {
  std::string storage;
  std::size_t start = 0;
  bool well_formed = false;

  std::string_view text() const {
    return std::string_view(storage).substr(start);
  }
};

// Exactly `length` payload bytes; input that ends first gives "failed to fill
// whole buffer".
Result<Payload> read_frame_payload(Platform& os, std::uint32_t length);

inline constexpr IoError ANSWER_TOO_LONG_ERROR = IoError::fixed(
    ErrorKind::InvalidData, "answer of 4 GiB or more, too long for a frame");

enum class FrameStep : std::uint8_t { Length, Bytes, Flush };

struct FrameError {
  FrameStep step;
  IoError error;
};

// Writes the text's length, the text, and flushes standard output; each step
// runs only after the one before it succeeded.
std::expected<void, FrameError> write_frame(Platform& os,
                                            std::string_view text);

}  // namespace tavorin
