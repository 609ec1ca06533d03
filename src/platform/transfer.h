#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/io_error.h"

namespace tavorin {

// Moves every byte through a "write some" operation. An interrupted transfer
// is retried; a write that takes nothing can never finish, so it fails.
template <typename WriteSome>
Status write_fully(WriteSome&& write_some, std::string_view bytes) {
  while (!bytes.empty()) {
    Result<std::size_t> written = write_some(bytes);
    if (!written) {
      if (written.error().kind() == ErrorKind::Interrupted) continue;
      return std::unexpected(written.error());
    }
    if (*written == 0) return std::unexpected(WRITE_ZERO_ERROR);
    bytes.remove_prefix(*written);
  }
  return {};
}

// Moves every byte of the pieces through a gathered "write some" operation,
// with the same rules as write_fully.
template <std::size_t N, typename WritePieces>
Status write_pieces_fully(WritePieces&& write_some,
                          std::array<std::string_view, N> pieces) {
  std::span<std::string_view> rest(pieces);
  for (;;) {
    while (!rest.empty() && rest.front().empty()) rest = rest.subspan(1);
    if (rest.empty()) return {};
    Result<std::size_t> written = write_some(rest);
    if (!written) {
      if (written.error().kind() == ErrorKind::Interrupted) continue;
      return std::unexpected(written.error());
    }
    if (*written == 0) return std::unexpected(WRITE_ZERO_ERROR);
    for (std::size_t taken = *written; taken > 0 && !rest.empty();) {
      std::size_t step = std::min(taken, rest.front().size());
      rest.front().remove_prefix(step);
      taken -= step;
      if (rest.front().empty()) rest = rest.subspan(1);
    }
  }
}

struct NothingOnArrival {
  void operator()(std::size_t) const {}
};

// Fills the whole buffer through a "read some" operation; input that ends
// first fails with FILL_BUFFER_ERROR. After each read, `arrived` is told how
// many bytes of the buffer are filled, so that they can be looked at while
// the rest is on its way.
template <typename ReadSome, typename Arrived = NothingOnArrival>
Status read_fully(ReadSome&& read_some, std::span<char> buffer,
                  Arrived&& arrived = {}) {
  std::size_t filled = 0;
  while (filled < buffer.size()) {
    Result<std::size_t> got = read_some(buffer.subspan(filled));
    if (!got) {
      if (got.error().kind() == ErrorKind::Interrupted) continue;
      return std::unexpected(got.error());
    }
    if (*got == 0) return std::unexpected(FILL_BUFFER_ERROR);
    filled += *got;
    arrived(filled);
  }
  return {};
}

// Reads through a "read some" operation until the input ends or the buffer
// is full, and returns how many bytes it holds. An interrupted read is
// retried.
template <typename ReadSome>
Result<std::size_t> read_until_end_or_full(ReadSome&& read_some,
                                           std::span<char> buffer) {
  std::size_t used = 0;
  while (used < buffer.size()) {
    Result<std::size_t> got = read_some(buffer.subspan(used));
    if (!got) {
      if (got.error().kind() == ErrorKind::Interrupted) continue;
      return std::unexpected(got.error());
    }
    if (*got == 0) break;
    used += *got;
  }
  return used;
}

// Reads through a "read some" operation until the input ends, keeping at
// most `limit` bytes: longer input fails with NOT_A_SMALL_FILE_ERROR, so a
// file that grew after its size was checked is never read without bound.
template <typename ReadSome>
Result<std::string> read_to_end_within(ReadSome&& read_some,
                                       std::size_t limit) {
  std::string content(limit + 1, '\0');
  Result<std::size_t> used = read_until_end_or_full(read_some, content);
  if (!used) return std::unexpected(used.error());
  if (*used > limit) return std::unexpected(NOT_A_SMALL_FILE_ERROR);
  content.resize(*used);
  return content;
}

}  // namespace tavorin
