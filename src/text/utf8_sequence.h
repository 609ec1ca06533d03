#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tavorin::utf8 {

// What the bytes after a lead byte may be: the first continuation has its
// own range for the leads that would otherwise allow overlongs, surrogates
// or code points past U+10FFFF.
struct Sequence {
  std::size_t continuations;
  std::uint8_t first_low;
  std::uint8_t first_high;
};

inline constexpr Sequence INVALID_LEAD{0, 0, 0};

inline Sequence sequence_for(std::uint8_t lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {1, 0x80, 0xBF};
  if (lead == 0xE0) return {2, 0xA0, 0xBF};
  if (lead == 0xED) return {2, 0x80, 0x9F};
  if (lead >= 0xE1 && lead <= 0xEF) return {2, 0x80, 0xBF};
  if (lead == 0xF0) return {3, 0x90, 0xBF};
  if (lead >= 0xF1 && lead <= 0xF3) return {3, 0x80, 0xBF};
  if (lead == 0xF4) return {3, 0x80, 0x8F};
  return INVALID_LEAD;
}

inline std::uint8_t byte_at(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint8_t>(bytes[at]);
}

inline bool is_continuation(std::uint8_t byte) { return (byte & 0xC0) == 0x80; }

// How far before the end of the bytes the last character within reach
// starts: 1 to 4, the distance to the last of the final four bytes that is
// not a continuation; 0 when there is none.
inline std::size_t distance_to_last_start(std::string_view bytes) {
  for (std::size_t back = 1; back <= 4 && back <= bytes.size(); ++back) {
    if (!is_continuation(byte_at(bytes, bytes.size() - back))) return back;
  }
  return 0;
}

// How many bytes a character whose first byte this is takes, going by the
// byte alone (1 for ASCII, continuations and bytes no character starts with).
inline std::size_t length_announced(std::uint8_t first) {
  if (first >= 0xF0) return 4;
  if (first >= 0xE0) return 3;
  if (first >= 0xC0) return 2;
  return 1;
}

// How many bytes from `at` form a well-formed character (complete == true),
// or the maximal subpart that cannot be completed (complete == false).
struct Scan {
  std::size_t length;
  bool complete;
};

inline Scan scan_character(std::string_view bytes, std::size_t at) {
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

}  // namespace tavorin::utf8
