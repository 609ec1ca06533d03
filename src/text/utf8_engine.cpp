#include <cpuid.h>

#include <atomic>
#include <cstdint>

#include "text/utf8.h"
#include "text/utf8_engines.h"

namespace tavorin {

namespace {

struct Registers {
  unsigned eax = 0;
  unsigned ebx = 0;
  unsigned ecx = 0;
  unsigned edx = 0;
};

// What the processor reports for a leaf of `cpuid`; all zero for a leaf it
// does not have.
Registers processor_leaf(unsigned leaf) {
  Registers r;
  if (__get_cpuid_count(leaf, 0, &r.eax, &r.ebx, &r.ecx, &r.edx) == 0) {
    return {};
  }
  return r;
}

// Which register sets the operating system saves on a thread switch.
std::uint64_t saved_register_sets() {
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  asm volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (std::uint64_t{high} << 32) | low;
}

bool has_ssse3() { return (processor_leaf(1).ecx & bit_SSSE3) != 0; }

bool has_avx2() {
  Registers features = processor_leaf(1);
  if ((features.ecx & bit_OSXSAVE) == 0 || (features.ecx & bit_AVX) == 0) {
    return false;
  }
  // The 32-byte registers are only usable when the system saves both their
  // halves (the SSE and the AVX state).
  constexpr std::uint64_t SSE_AND_AVX_STATE = 0x6;
  if ((saved_register_sets() & SSE_AND_AVX_STATE) != SSE_AND_AVX_STATE) {
    return false;
  }
  return (processor_leaf(7).ebx & bit_AVX2) != 0;
}

Utf8Engine detect_fastest_engine() {
  if (has_avx2()) return Utf8Engine::Avx2;
  if (has_ssse3()) return Utf8Engine::Sse;
  return Utf8Engine::Scalar;
}

// The fastest engine plus one, or 0 before the first look: `cpuid` is slow
// (in a virtual machine it leaves for the hypervisor), so it runs once. Set
// without a lock: every thread that races to look finds the same.
constinit std::atomic<std::uint8_t> known_fastest{0};

Utf8Engine fastest_engine() {
  std::uint8_t known = known_fastest.load(std::memory_order_relaxed);
  if (known != 0) return static_cast<Utf8Engine>(known - 1);
  Utf8Engine fastest = detect_fastest_engine();
  known_fastest.store(static_cast<std::uint8_t>(fastest) + 1,
                      std::memory_order_relaxed);
  return fastest;
}

using PrefixFunction = std::size_t(std::string_view);

PrefixFunction* prefix_function(Utf8Engine engine) {
  switch (engine) {
    case Utf8Engine::Avx2: return utf8::avx2_valid_prefix;
    case Utf8Engine::Sse: return utf8::sse_valid_prefix;
    case Utf8Engine::Scalar: break;
  }
  return utf8::scalar_valid_prefix;
}

}  // namespace

// Each engine can run wherever a faster one can.
bool utf8_engine_available(Utf8Engine engine) {
  return static_cast<std::uint8_t>(engine) <=
         static_cast<std::uint8_t>(fastest_engine());
}

Utf8Engine chosen_utf8_engine() { return fastest_engine(); }

std::size_t valid_utf8_prefix_with(Utf8Engine engine, std::string_view bytes) {
  if (!utf8_engine_available(engine)) engine = Utf8Engine::Scalar;
  return prefix_function(engine)(bytes);
}

std::size_t valid_utf8_prefix(std::string_view bytes) {
  return prefix_function(fastest_engine())(bytes);
}

}  // namespace tavorin
