#include "platform/platform.h"

#include <array>
#include <cstring>
#include <span>
#include <string_view>

namespace tavorin {

namespace {

// For a system without a gathered write: the leading pieces that fit in a
// small buffer leave together, so a usual log line is still one write; a
// piece too large for it leaves on its own, uncopied. The caller comes back
// for the rest.
template <typename WriteOne>
Result<std::size_t> write_pieces_joined(
    WriteOne&& write_one, std::span<const std::string_view> pieces) {
  std::array<char, 1024> joined;
  std::size_t used = 0;
  for (std::string_view piece : pieces) {
    if (piece.empty()) continue;
    if (used + piece.size() > joined.size()) break;
    std::memcpy(joined.data() + used, piece.data(), piece.size());
    used += piece.size();
  }
  if (used > 0) return write_one(std::string_view(joined.data(), used));
  for (std::string_view piece : pieces) {
    if (!piece.empty()) return write_one(piece);
  }
  return 0;
}

}  // namespace

Result<std::size_t> Platform::write_stdout_pieces(
    std::span<const std::string_view> pieces) {
  return write_pieces_joined(
      [this](std::string_view piece) { return write_stdout(piece); }, pieces);
}

Result<std::size_t> Platform::write_stderr_pieces(
    std::span<const std::string_view> pieces) {
  return write_pieces_joined(
      [this](std::string_view piece) { return write_stderr(piece); }, pieces);
}

void Platform::exit_process(int status) {
  // Whatever the outcome, a frame already handed to the writer gets its
  // chance to leave; a failure here has nobody left to report to.
  (void)stdout_.flush();
  terminate_process(status);
  __builtin_unreachable();
}

}  // namespace tavorin
