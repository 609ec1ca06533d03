#include <cstdint>
#include <cstdlib>
#include <string>

#include "reference_utf8.h"
#include "text/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string decoded = tavorin::decode_payload(bytes);
  if (decoded != tavorin::fuzzing::reference_decode(bytes)) std::abort();
  if (!tavorin::is_valid_utf8(decoded)) std::abort();
  if (tavorin::is_valid_utf8(bytes) != (decoded == bytes)) std::abort();
  return 0;
}
