#include "text/utf8.h"

#include <cstdint>
#include <cstring>

namespace tavorin {

namespace {

constexpr std::string_view REPLACEMENT_CHARACTER = "\xEF\xBF\xBD";

// What the bytes after a lead byte may be: the first continuation has its
// own range for the leads that would otherwise allow overlongs, surrogates
// or code points past U+10FFFF.
struct Sequence {
  std::size_t continuations;
  std::uint8_t first_low;
  std::uint8_t first_high;
};

constexpr Sequence INVALID_LEAD{0, 0, 0};

Sequence sequence_for(std::uint8_t lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {1, 0x80, 0xBF};
  if (lead == 0xE0) return {2, 0xA0, 0xBF};
  if (lead == 0xED) return {2, 0x80, 0x9F};
  if (lead >= 0xE1 && lead <= 0xEF) return {2, 0x80, 0xBF};
  if (lead == 0xF0) return {3, 0x90, 0xBF};
  if (lead >= 0xF1 && lead <= 0xF3) return {3, 0x80, 0xBF};
  if (lead == 0xF4) return {3, 0x80, 0x8F};
  return INVALID_LEAD;
}

std::uint8_t byte_at(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint8_t>(bytes[at]);
}

// How many bytes from `at` form a well-formed character (complete == true),
// or the maximal subpart that cannot be completed (complete == false).
struct Scan {
  std::size_t length;
  bool complete;
};

Scan scan_character(std::string_view bytes, std::size_t at) {
  std::uint8_t lead = byte_at(bytes, at);
  if (lead < 0x80) return {1, true};
  Sequence sequence = sequence_for(lead);
  if (sequence.continuations == 0) return {1, false};
  std::uint8_t low = sequence.first_low;
  std::uint8_t high = sequence.first_high;
  std::size_t length = 1;
  for (std::size_t i = 0; i < sequence.continuations; ++i) {
    if (at + length >= bytes.size()) return {length, false};
    std::uint8_t next = byte_at(bytes, at + length);
    if (next < low || next > high) return {length, false};
    ++length;
    low = 0x80;
    high = 0xBF;
  }
  return {length, true};
}

constexpr std::size_t ASCII_BLOCK = 32;

bool all_ascii(const char* block) {
  std::uint64_t words[ASCII_BLOCK / 8];
  std::memcpy(words, block, ASCII_BLOCK);
  return ((words[0] | words[1] | words[2] | words[3]) &
          0x8080808080808080ULL) == 0;
}

}  // namespace

std::size_t valid_utf8_prefix(std::string_view bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    // JSON is mostly ASCII: skip it a block at a time.
    if (at + ASCII_BLOCK <= bytes.size() && all_ascii(bytes.data() + at)) {
      at += ASCII_BLOCK;
      continue;
    }
    Scan scan = scan_character(bytes, at);
    if (!scan.complete) return at;
    at += scan.length;
  }
  return at;
}

std::string decode_payload(std::string bytes) {
  std::size_t valid = valid_utf8_prefix(bytes);
  if (valid == bytes.size()) return bytes;
  std::string text(std::string_view(bytes).substr(0, valid));
  std::string_view view(bytes);
  for (std::size_t at = valid; at < view.size();) {
    Scan scan = scan_character(view, at);
    if (scan.complete) {
      text.append(view.substr(at, scan.length));
    } else {
      text.append(REPLACEMENT_CHARACTER);
    }
    at += scan.length;
  }
  return text;
}

}  // namespace tavorin
