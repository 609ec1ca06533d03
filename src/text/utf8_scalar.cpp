#include <cstdint>
#include <cstring>

#include "text/utf8_engines.h"
#include "text/utf8_sequence.h"

namespace tavorin::utf8 {

namespace {

constexpr std::size_t ASCII_RUN = 32;

bool all_ascii(const char* run) {
  std::uint64_t words[ASCII_RUN / 8];
  std::memcpy(words, run, ASCII_RUN);
  return ((words[0] | words[1] | words[2] | words[3]) &
          0x8080808080808080ULL) == 0;
}

// The start of the character that the byte at `end` would have continued,
// or `end`: the last byte within reach that is not a continuation.
std::size_t last_character_start(std::string_view bytes, std::size_t end) {
  std::size_t back = distance_to_last_start(bytes.substr(0, end));
  // Nothing before `end`, or only continuations within reach, which a
  // block found well-formed cannot leave: the text's start is a safe start.
  return back == 0 ? 0 : end - back;
}

}  // namespace

std::size_t scalar_valid_prefix(std::string_view bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    // JSON is mostly ASCII: skip it a run at a time.
    if (bytes.size() - at >= ASCII_RUN && all_ascii(bytes.data() + at)) {
      at += ASCII_RUN;
      continue;
    }
    Scan scan = scan_character(bytes, at);
    if (!scan.complete) return at;
    at += scan.length;
  }
  return at;
}

std::size_t prefix_from_failed_block(std::string_view bytes,
                                     std::size_t block) {
  std::size_t start = last_character_start(bytes, block);
  return start + scalar_valid_prefix(bytes.substr(start));
}

}  // namespace tavorin::utf8
