#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tavorin {

// The ways the host can check UTF-8: byte by byte, or a block of 64 bytes at
// a time with the processor's vector instructions (16 bytes to a register
// with SSSE3, 32 with AVX2). All give the same answers; the host picks the
// fastest the processor offers the first time it checks any text. Slowest
// first: a processor that runs one runs those before it.
enum class Utf8Engine : std::uint8_t { Scalar, Sse, Avx2 };

// Whether this processor and its operating system can run the engine.
bool utf8_engine_available(Utf8Engine engine);

// The engine valid_utf8_prefix and is_valid_utf8 use on this processor.
Utf8Engine chosen_utf8_engine();

// valid_utf8_prefix with the given engine, for comparing the engines. One
// the processor cannot run is replaced by the scalar one.
std::size_t valid_utf8_prefix_with(Utf8Engine engine, std::string_view bytes);

inline bool is_valid_utf8_with(Utf8Engine engine, std::string_view bytes) {
  return valid_utf8_prefix_with(engine, bytes) == bytes.size();
}

}  // namespace tavorin
