#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "reference_utf8.h"
#include "text/utf8.h"

// Every engine's verdict and the decoder's text against the reference
// decoder. The engines read the fuzzer's own buffer, so that a read past
// its end is caught.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::size_t valid = tavorin::fuzzing::reference_valid_prefix(bytes);
  for (tavorin::Utf8Engine engine :
       {tavorin::Utf8Engine::Scalar, tavorin::Utf8Engine::Sse,
        tavorin::Utf8Engine::Avx2}) {
    if (tavorin::valid_utf8_prefix_with(engine, bytes) != valid) std::abort();
    if (tavorin::is_valid_utf8_with(engine, bytes) != (valid == size)) {
      std::abort();
    }
  }
  std::string decoded = tavorin::decode_payload(bytes);
  if (decoded != tavorin::fuzzing::reference_decode(bytes)) std::abort();
  return 0;
}
