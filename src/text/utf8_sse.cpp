// The lookup method (see utf8_lookup_tables.h) 16 bytes to a register, with
// SSSE3 (for processors without AVX2).
#include <immintrin.h>

#include <cstring>

#include "text/utf8_engines.h"
#include "text/utf8_lookup_tables.h"

// Each function is built for SSSE3 on its own, so that the rest of the
// program still runs on processors without it.
#define TAVORIN_SSSE3 [[gnu::target("ssse3"), gnu::always_inline]] inline

namespace tavorin::utf8 {

namespace {

using Vector = __m128i;

constexpr std::size_t VECTOR_SIZE = 16;
constexpr std::size_t VECTORS_PER_BLOCK = BLOCK_SIZE / VECTOR_SIZE;

TAVORIN_SSSE3 Vector load(const char* bytes) {
  return _mm_loadu_si128(reinterpret_cast<const Vector*>(bytes));
}

TAVORIN_SSSE3 Vector splat(std::uint8_t byte) {
  return _mm_set1_epi8(static_cast<char>(byte));
}

TAVORIN_SSSE3 Vector table(const lookup::Table& entries) {
  return load(reinterpret_cast<const char*>(entries.data()));
}

TAVORIN_SSSE3 bool any_set(Vector bits) {
  return _mm_movemask_epi8(_mm_cmpeq_epi8(bits, _mm_setzero_si128())) != 0xFFFF;
}

TAVORIN_SSSE3 bool all_ascii(Vector bytes) {
  return _mm_movemask_epi8(bytes) == 0;
}

TAVORIN_SSSE3 Vector high_halves(Vector bytes) {
  return _mm_and_si128(_mm_srli_epi16(bytes, 4), splat(0x0F));
}

TAVORIN_SSSE3 Vector low_halves(Vector bytes) {
  return _mm_and_si128(bytes, splat(0x0F));
}

// The bytes `N` places before those of `current`, the first ones taken
// from the end of `previous`.
template <int N>
TAVORIN_SSSE3 Vector bytes_before(Vector current, Vector previous) {
  return _mm_alignr_epi8(current, previous, 16 - N);
}

TAVORIN_SSSE3 Vector pair_errors(Vector current, Vector before) {
  Vector first_high =
      _mm_shuffle_epi8(table(lookup::FIRST_HIGH), high_halves(before));
  Vector first_low =
      _mm_shuffle_epi8(table(lookup::FIRST_LOW), low_halves(before));
  Vector second_high =
      _mm_shuffle_epi8(table(lookup::SECOND_HIGH), high_halves(current));
  return _mm_and_si128(_mm_and_si128(first_high, first_low), second_high);
}

// The top bit of each byte that a lead two or three bytes back calls for.
TAVORIN_SSSE3 Vector required_continuations(Vector current, Vector previous) {
  Vector third = _mm_subs_epu8(bytes_before<2>(current, previous),
                               splat(lookup::THIRD_BYTE_BIAS));
  Vector fourth = _mm_subs_epu8(bytes_before<3>(current, previous),
                                splat(lookup::FOURTH_BYTE_BIAS));
  return _mm_and_si128(_mm_or_si128(third, fourth), splat(0x80));
}

TAVORIN_SSSE3 Vector vector_errors(Vector current, Vector previous) {
  Vector pairs = pair_errors(current, bytes_before<1>(current, previous));
  // A pair of continuations that a lead called for cancels out here; one
  // it called for that is missing shows up.
  return _mm_xor_si128(pairs, required_continuations(current, previous));
}

// Nonzero when the last bytes begin a character that goes on past them.
TAVORIN_SSSE3 Vector unfinished_end(Vector bytes) {
  static constexpr auto LARGEST = lookup::largest_at_end<VECTOR_SIZE>();
  return _mm_subs_epu8(bytes,
                       load(reinterpret_cast<const char*>(LARGEST.data())));
}

// What one block hands on to the next.
struct Carry {
  Vector last;        // its last 16 bytes
  Vector unfinished;  // nonzero when it ends inside a character
};

TAVORIN_SSSE3 Vector block_errors(const char* block, Carry& carry) {
  Vector v[VECTORS_PER_BLOCK];
  for (std::size_t i = 0; i < VECTORS_PER_BLOCK; ++i) {
    v[i] = load(block + i * VECTOR_SIZE);
  }
  Vector last = v[VECTORS_PER_BLOCK - 1];
  Vector every = v[0];
  for (std::size_t i = 1; i < VECTORS_PER_BLOCK; ++i) {
    every = _mm_or_si128(every, v[i]);
  }
  if (all_ascii(every)) {
    // All ASCII: well-formed, unless it cuts the character before short.
    Vector errors = carry.unfinished;
    carry = {last, _mm_setzero_si128()};
    return errors;
  }
  Vector errors = vector_errors(v[0], carry.last);
  for (std::size_t i = 1; i < VECTORS_PER_BLOCK; ++i) {
    errors = _mm_or_si128(errors, vector_errors(v[i], v[i - 1]));
  }
  carry = {last, unfinished_end(last)};
  return errors;
}

}  // namespace

[[gnu::target("ssse3")]] std::size_t sse_valid_prefix(std::string_view bytes) {
  Carry carry{_mm_setzero_si128(), _mm_setzero_si128()};
  std::size_t at = 0;
  for (; bytes.size() - at >= BLOCK_SIZE; at += BLOCK_SIZE) {
    if (any_set(block_errors(bytes.data() + at, carry))) {
      return prefix_from_failed_block(bytes, at);
    }
  }
  // The rest, padded with zeros: a character cut off at the end of the
  // text is then one cut short by ASCII.
  char rest[BLOCK_SIZE] = {};
  if (at < bytes.size())
    std::memcpy(rest, bytes.data() + at, bytes.size() - at);
  if (any_set(block_errors(rest, carry))) {
    return prefix_from_failed_block(bytes, at);
  }
  return bytes.size();
}

}  // namespace tavorin::utf8
