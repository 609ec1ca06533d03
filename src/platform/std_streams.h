#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "platform/io_error.h"
#include "platform/transfer.h"

namespace tavorin {

class Platform;

// Standard input through a buffer, so that a small frame costs one system
// read. A request at least as large as the buffer goes straight into the
// caller's memory once the buffer is drained, so a large payload is never
// copied twice.
class StdinReader {
 public:
  static constexpr std::size_t CAPACITY = 12288;

  explicit StdinReader(Platform& os) : os_(os) {}

  // Some bytes, at most the buffer's size; 0 is the end of input.
  Result<std::size_t> read_some(std::span<char> destination);

  // Bytes read from the system and not yet taken.
  std::size_t buffered() const { return end_ - start_; }

  // Exactly the buffer's size; input that ends first gives FILL_BUFFER_ERROR.
  // `arrived(filled)` is told after each read.
  template <typename Arrived = NothingOnArrival>
  Status read_exact(std::span<char> destination, Arrived&& arrived = {}) {
    return read_fully([this](std::span<char> rest) { return read_some(rest); },
                      destination, arrived);
  }

 private:
  Result<std::size_t> read_raw(std::span<char> destination);

  // Aligned, as the system copies into aligned memory fastest.
  alignas(64) std::array<char, CAPACITY> buffer_{};
  Platform& os_;
  std::size_t start_ = 0;
  std::size_t end_ = 0;
};

// Standard output through a line-buffered writer: bytes up to the last line
// feed of a write are handed to the system at once, the rest waits for the
// next line feed, a full buffer, or an explicit flush. Writes larger than the
// buffer go straight through.
class StdoutWriter {
 public:
  static constexpr std::size_t CAPACITY = 1024;

  explicit StdoutWriter(Platform& os) : os_(os) {}

  Status write_all(std::string_view bytes);
  Status flush();

 private:
  Status write_buffered(std::string_view bytes);
  Status write_large(std::string_view bytes);
  Status write_direct(std::string_view bytes);

  Platform& os_;
  std::array<char, CAPACITY> buffer_{};
  std::size_t used_ = 0;
};

}  // namespace tavorin
