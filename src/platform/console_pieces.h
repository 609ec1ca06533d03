#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/io_error.h"

namespace tavorin {

// How much a piece carries once a large console write has failed. A console
// before Windows 8 shared a 64 KiB buffer among the calls of every process
// it served, and one short of memory can refuse a large request still, while
// a piece this small always fits.
inline constexpr std::size_t CONSOLE_PIECE_BYTES = 4096;

// Whether the unit goes on a character begun before it: a UTF-8
// continuation byte, or the low half of a UTF-16 surrogate pair.
template <typename Unit>
constexpr bool continues_character(Unit unit) {
  if constexpr (sizeof(Unit) == 1) {
    return (static_cast<std::uint8_t>(unit) & 0xC0) == 0x80;
  } else {
    return unit >= 0xDC00 && unit <= 0xDFFF;
  }
}

// How many of the units, at most `limit`, make a piece that ends on a whole
// character.
template <typename Unit>
std::size_t whole_piece_length(std::span<const Unit> units, std::size_t limit) {
  if (units.size() <= limit) return units.size();
  std::size_t length = limit;
  while (length > 0 && continues_character(units[length])) --length;
  return length > 0 ? length : limit;
}

// Hands every unit to a console through `write`, which takes a span and
// returns how many units the console took. A log line must not end the
// session, and so lose the message it tells of, because a console refused
// one large request: a call that fails on more than a piece's worth is made
// again in whole-character pieces, and only a piece that fails is a
// failure. A short count goes on from where the console stopped.
template <typename Unit, typename Write>
Status write_all_to_console(std::span<const Unit> units, Write&& write) {
  constexpr std::size_t limit = CONSOLE_PIECE_BYTES / sizeof(Unit);
  bool in_pieces = false;
  while (!units.empty()) {
    std::span<const Unit> call =
        in_pieces ? units.first(whole_piece_length(units, limit)) : units;
    Result<std::size_t> taken = write(call);
    if (!taken) {
      if (in_pieces || call.size() <= limit) {
        return std::unexpected(taken.error());
      }
      in_pieces = true;
      continue;
    }
    if (*taken == 0) return std::unexpected(WRITE_ZERO_ERROR);
    units = units.subspan(*taken < call.size() ? *taken : call.size());
  }
  return {};
}

}  // namespace tavorin
