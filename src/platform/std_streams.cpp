#include "platform/std_streams.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "platform/transfer.h"

namespace tavorin {

Result<std::size_t> StdinReader::read_raw(std::span<char> destination) {
  Result<std::size_t> got = os_.read_stdin(destination);
  // Chrome closing its end of the pipe is the ordinary end of input.
  if (!got && got.error().kind() == ErrorKind::BrokenPipe) return 0;
  return got;
}

Result<std::size_t> StdinReader::read_some(std::span<char> destination) {
  if (start_ == end_) {
    if (destination.size() >= CAPACITY) return read_raw(destination);
    Result<std::size_t> got = read_raw(buffer_);
    if (!got) return got;
    start_ = 0;
    end_ = *got;
  }
  std::size_t count = std::min(destination.size(), end_ - start_);
  std::memcpy(destination.data(), buffer_.data() + start_, count);
  start_ += count;
  return count;
}

Status StdoutWriter::write_direct(std::string_view bytes) {
  return write_fully(
      [this](std::string_view rest) { return os_.write_stdout(rest); }, bytes);
}

Status StdoutWriter::flush() {
  if (used_ == 0) return {};
  Status written = write_direct(std::string_view(buffer_.data(), used_));
  // What could not be written is dropped with the error: keeping it would
  // replay stale bytes ahead of the next frame.
  used_ = 0;
  return written;
}

// Only for writes smaller than the buffer: larger ones go straight through.
Status StdoutWriter::write_buffered(std::string_view bytes) {
  if (bytes.empty()) return {};
  if (used_ + bytes.size() > CAPACITY) {
    if (Status flushed = flush(); !flushed) return flushed;
  }
  std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
  used_ += bytes.size();
  return {};
}

Status StdoutWriter::write_large(std::string_view bytes) {
  // What waits in the buffer and the large write leave together; either
  // way the buffer is empty afterwards.
  std::string_view buffered(buffer_.data(), used_);
  used_ = 0;
  return write_pieces_fully(
      [this](std::span<const std::string_view> pieces) {
        return os_.write_stdout_pieces(pieces);
      },
      std::array<std::string_view, 2>{buffered, bytes});
}

Status StdoutWriter::write_all(std::string_view bytes) {
  // A write at least as large as the buffer goes straight through, whatever
  // line feeds it holds, so a large frame is never searched byte by byte.
  if (bytes.size() >= CAPACITY) return write_large(bytes);
  std::size_t last_newline = bytes.rfind('\n');
  if (last_newline == std::string_view::npos) return write_buffered(bytes);
  std::string_view lines = bytes.substr(0, last_newline + 1);
  if (Status flushed = flush(); !flushed) return flushed;
  if (Status written = write_direct(lines); !written) return written;
  return write_buffered(bytes.substr(last_newline + 1));
}

}  // namespace tavorin
