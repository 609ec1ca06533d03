// The lookup method (see utf8_lookup_tables.h) 32 bytes to a register.
#include <immintrin.h>

#include <cstring>

#include "text/utf8_engines.h"
#include "text/utf8_lookup_tables.h"

// Each function is built for AVX2 on its own, so that the rest of the
// program still runs on processors without it; all of them are inlined into
// the one entry point, so no vector crosses a call (the Windows stack keeps
// only 16-byte alignment).
#define TAVORIN_AVX2 [[gnu::target("avx2"), gnu::always_inline]] inline

namespace tavorin::utf8 {

namespace {

using Vector = __m256i;

constexpr std::size_t VECTOR_SIZE = 32;

TAVORIN_AVX2 Vector load(const char* bytes) {
  return _mm256_loadu_si256(reinterpret_cast<const Vector*>(bytes));
}

TAVORIN_AVX2 Vector splat(std::uint8_t byte) {
  return _mm256_set1_epi8(static_cast<char>(byte));
}

TAVORIN_AVX2 Vector both_lanes(const lookup::Table& table) {
  return _mm256_broadcastsi128_si256(
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(table.data())));
}

TAVORIN_AVX2 bool any_set(Vector bits) {
  return _mm256_testz_si256(bits, bits) == 0;
}

TAVORIN_AVX2 bool all_ascii(Vector bytes) {
  return _mm256_testz_si256(bytes, splat(0x80)) != 0;
}

TAVORIN_AVX2 Vector high_halves(Vector bytes) {
  return _mm256_and_si256(_mm256_srli_epi16(bytes, 4), splat(0x0F));
}

TAVORIN_AVX2 Vector low_halves(Vector bytes) {
  return _mm256_and_si256(bytes, splat(0x0F));
}

// The bytes `N` places before those of `current`, the first ones taken
// from the end of `previous`.
template <int N>
TAVORIN_AVX2 Vector bytes_before(Vector current, Vector previous) {
  Vector straddling = _mm256_permute2x128_si256(previous, current, 0x21);
  return _mm256_alignr_epi8(current, straddling, 16 - N);
}

TAVORIN_AVX2 Vector pair_errors(Vector current, Vector before) {
  Vector first_high =
      _mm256_shuffle_epi8(both_lanes(lookup::FIRST_HIGH), high_halves(before));
  Vector first_low =
      _mm256_shuffle_epi8(both_lanes(lookup::FIRST_LOW), low_halves(before));
  Vector second_high = _mm256_shuffle_epi8(both_lanes(lookup::SECOND_HIGH),
                                           high_halves(current));
  return _mm256_and_si256(_mm256_and_si256(first_high, first_low), second_high);
}

// The top bit of each byte that a lead two or three bytes back calls for.
TAVORIN_AVX2 Vector required_continuations(Vector current, Vector previous) {
  Vector third = _mm256_subs_epu8(bytes_before<2>(current, previous),
                                  splat(lookup::THIRD_BYTE_BIAS));
  Vector fourth = _mm256_subs_epu8(bytes_before<3>(current, previous),
                                   splat(lookup::FOURTH_BYTE_BIAS));
  return _mm256_and_si256(_mm256_or_si256(third, fourth), splat(0x80));
}

TAVORIN_AVX2 Vector vector_errors(Vector current, Vector previous) {
  Vector pairs = pair_errors(current, bytes_before<1>(current, previous));
  // A pair of continuations that a lead called for cancels out here; one
  // it called for that is missing shows up.
  return _mm256_xor_si256(pairs, required_continuations(current, previous));
}

// Nonzero when the last bytes begin a character that goes on past them.
TAVORIN_AVX2 Vector unfinished_end(Vector bytes) {
  static constexpr auto LARGEST = lookup::largest_at_end<VECTOR_SIZE>();
  return _mm256_subs_epu8(bytes,
                          load(reinterpret_cast<const char*>(LARGEST.data())));
}

// What one block hands on to the next.
struct Carry {
  Vector last;        // its last 32 bytes
  Vector unfinished;  // nonzero when it ends inside a character
};

TAVORIN_AVX2 Vector block_errors(const char* block, Carry& carry) {
  Vector first = load(block);
  Vector second = load(block + VECTOR_SIZE);
  if (all_ascii(_mm256_or_si256(first, second))) {
    // All ASCII: well-formed, unless it cuts the character before short.
    Vector errors = carry.unfinished;
    carry = {second, _mm256_setzero_si256()};
    return errors;
  }
  Vector errors = _mm256_or_si256(vector_errors(first, carry.last),
                                  vector_errors(second, first));
  carry = {second, unfinished_end(second)};
  return errors;
}

}  // namespace

[[gnu::target("avx2")]] std::size_t avx2_valid_prefix(std::string_view bytes) {
  Carry carry{_mm256_setzero_si256(), _mm256_setzero_si256()};
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
