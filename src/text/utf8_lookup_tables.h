#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The vector engines check UTF-8 two bytes at a time: for every byte, three
// 16-entry tables, looked up by the high and low half of the byte before it
// and by the byte's own high half, each give the set of errors the pair may
// be part of; a pair is ill-formed when all three agree on one. What pairs
// cannot see (a third or fourth byte that is missing or one too many) is
// settled by the lead two or three bytes back. This is the lookup method of
// Keiser and Lemire, "Validating UTF-8 In Less Than One Instruction Per
// Byte" (2021).
namespace tavorin::utf8::lookup {

// One bit per kind of ill-formed pair.
inline constexpr std::uint8_t TOO_SHORT = 1 << 0;  // lead, then no continuation
inline constexpr std::uint8_t TOO_LONG = 1 << 1;   // ASCII, then a continuation
inline constexpr std::uint8_t OVERLONG_3 = 1 << 2;  // E0, then 80..9F
inline constexpr std::uint8_t TOO_LARGE = 1 << 3;   // F4..FF, then 90..BF
inline constexpr std::uint8_t SURROGATE = 1 << 4;   // ED, then A0..BF
inline constexpr std::uint8_t OVERLONG_2 = 1 << 5;  // C0 or C1, then 80..BF
// These two share a bit: the low half of the lead tells them apart.
inline constexpr std::uint8_t TOO_LARGE_1000 = 1 << 6;  // F5..FF, then 80..8F
inline constexpr std::uint8_t OVERLONG_4 = 1 << 6;      // F0, then 80..8F
// Two continuations in a row: an error unless a lead two or three bytes
// back calls for it, so it must be the top bit (see required_continuations).
inline constexpr std::uint8_t TWO_CONTINUATIONS = 1 << 7;

// The bits whose pairs do not depend on the low half of the first byte.
inline constexpr std::uint8_t ANY_LOW =
    TOO_SHORT | TOO_LONG | TWO_CONTINUATIONS;

using Table = std::array<std::uint8_t, 16>;

// By the high half of the first byte of the pair.
inline constexpr Table FIRST_HIGH = {
    // 0_______: ASCII
    TOO_LONG, TOO_LONG, TOO_LONG, TOO_LONG, TOO_LONG, TOO_LONG, TOO_LONG,
    TOO_LONG,
    // 10______: a continuation
    TWO_CONTINUATIONS, TWO_CONTINUATIONS, TWO_CONTINUATIONS, TWO_CONTINUATIONS,
    // 1100____: the leads C0..CF
    TOO_SHORT | OVERLONG_2,
    // 1101____: the leads D0..DF
    TOO_SHORT,
    // 1110____: the leads of three bytes
    TOO_SHORT | OVERLONG_3 | SURROGATE,
    // 1111____: the leads of four bytes and the bytes past them
    TOO_SHORT | TOO_LARGE | TOO_LARGE_1000 | OVERLONG_4};

// By the low half of the first byte of the pair.
inline constexpr Table FIRST_LOW = {
    ANY_LOW | OVERLONG_2 | OVERLONG_3 | OVERLONG_4,  // C0, E0, F0
    ANY_LOW | OVERLONG_2,                            // C1
    ANY_LOW,
    ANY_LOW,
    ANY_LOW | TOO_LARGE,                   // F4
    ANY_LOW | TOO_LARGE | TOO_LARGE_1000,  // F5
    ANY_LOW | TOO_LARGE | TOO_LARGE_1000,
    ANY_LOW | TOO_LARGE | TOO_LARGE_1000,
    ANY_LOW | TOO_LARGE | TOO_LARGE_1000,
    ANY_LOW | TOO_LARGE | TOO_LARGE_1000,
    ANY_LOW | TOO_LARGE | TOO_LARGE_1000,
    ANY_LOW | TOO_LARGE | TOO_LARGE_1000,
    ANY_LOW | TOO_LARGE | TOO_LARGE_1000,
    ANY_LOW | TOO_LARGE | TOO_LARGE_1000 | SURROGATE,  // ED, FD
    ANY_LOW | TOO_LARGE | TOO_LARGE_1000,
    ANY_LOW | TOO_LARGE | TOO_LARGE_1000};

// By the high half of the second byte of the pair.
inline constexpr Table SECOND_HIGH = {
    // 0_______: ASCII
    TOO_SHORT, TOO_SHORT, TOO_SHORT, TOO_SHORT, TOO_SHORT, TOO_SHORT, TOO_SHORT,
    TOO_SHORT,
    // 1000____
    TOO_LONG | OVERLONG_2 | TWO_CONTINUATIONS | OVERLONG_3 | TOO_LARGE_1000 |
        OVERLONG_4,
    // 1001____
    TOO_LONG | OVERLONG_2 | TWO_CONTINUATIONS | OVERLONG_3 | TOO_LARGE,
    // 1010____ and 1011____
    TOO_LONG | OVERLONG_2 | TWO_CONTINUATIONS | SURROGATE | TOO_LARGE,
    TOO_LONG | OVERLONG_2 | TWO_CONTINUATIONS | SURROGATE | TOO_LARGE,
    // 11______: a lead
    TOO_SHORT, TOO_SHORT, TOO_SHORT, TOO_SHORT};

// A byte at least this large two bytes back is a lead of three or four
// bytes, and three bytes back one of four: each makes the byte a required
// continuation. Saturating subtraction of these leaves the top bit set
// exactly then.
inline constexpr std::uint8_t THIRD_BYTE_BIAS = 0xE0 - 0x80;
inline constexpr std::uint8_t FOURTH_BYTE_BIAS = 0xF0 - 0x80;

// The largest byte that can end a block without leaving a character for the
// next one to finish, by distance from the end: the last byte must not be a
// lead, the one before not a lead of three or four, the one before that not
// a lead of four.
inline constexpr std::uint8_t LAST_BYTE_MAX = 0xBF;
inline constexpr std::uint8_t SECOND_LAST_MAX = 0xDF;
inline constexpr std::uint8_t THIRD_LAST_MAX = 0xEF;

// Those limits for a register of `N` bytes (no limit on the others).
template <std::size_t N>
constexpr std::array<std::uint8_t, N> largest_at_end() {
  std::array<std::uint8_t, N> largest{};
  largest.fill(0xFF);
  largest[N - 3] = THIRD_LAST_MAX;
  largest[N - 2] = SECOND_LAST_MAX;
  largest[N - 1] = LAST_BYTE_MAX;
  return largest;
}

}  // namespace tavorin::utf8::lookup
