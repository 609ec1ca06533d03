#include "reference_utf8.h"

#include <array>
#include <cstdint>

namespace tavorin::fuzzing {

namespace {

struct ByteRange {
  std::uint8_t low;
  std::uint8_t high;
};

struct WellFormed {
  std::size_t length;
  std::array<ByteRange, 4> bytes;
};

constexpr ByteRange TAIL{0x80, 0xBF};

// One row per line of the table of well-formed UTF-8 byte sequences.
constexpr std::array<WellFormed, 9> TABLE = {{
    {1, {{{0x00, 0x7F}}}},
    {2, {{{0xC2, 0xDF}, TAIL}}},
    {3, {{{0xE0, 0xE0}, {0xA0, 0xBF}, TAIL}}},
    {3, {{{0xE1, 0xEC}, TAIL, TAIL}}},
    {3, {{{0xED, 0xED}, {0x80, 0x9F}, TAIL}}},
    {3, {{{0xEE, 0xEF}, TAIL, TAIL}}},
    {4, {{{0xF0, 0xF0}, {0x90, 0xBF}, TAIL, TAIL}}},
    {4, {{{0xF1, 0xF3}, TAIL, TAIL, TAIL}}},
    {4, {{{0xF4, 0xF4}, {0x80, 0x8F}, TAIL, TAIL}}},
}};

bool in(ByteRange range, char c) {
  auto b = static_cast<std::uint8_t>(c);
  return b >= range.low && b <= range.high;
}

// How many bytes of the row match from `at`.
std::size_t matched(const WellFormed& row, std::string_view bytes,
                    std::size_t at) {
  std::size_t n = 0;
  while (n < row.length && at + n < bytes.size() &&
         in(row.bytes[n], bytes[at + n])) {
    ++n;
  }
  return n;
}

// The character or maximal ill-formed subpart that starts at `at`.
struct Step {
  std::size_t advance;
  bool complete;
};

Step step_at(std::string_view bytes, std::size_t at) {
  for (const WellFormed& row : TABLE) {
    if (!in(row.bytes[0], bytes[at])) continue;
    std::size_t advance = matched(row, bytes, at);
    return {advance, advance == row.length};
  }
  return {1, false};
}

}  // namespace

std::string reference_decode(std::string_view bytes) {
  std::string out;
  std::size_t at = 0;
  while (at < bytes.size()) {
    Step step = step_at(bytes, at);
    if (step.complete) {
      out.append(bytes.substr(at, step.advance));
    } else {
      out.append("\xEF\xBF\xBD");
    }
    at += step.advance;
  }
  return out;
}

std::size_t reference_valid_prefix(std::string_view bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    Step step = step_at(bytes, at);
    if (!step.complete) break;
    at += step.advance;
  }
  return at;
}

}  // namespace tavorin::fuzzing
