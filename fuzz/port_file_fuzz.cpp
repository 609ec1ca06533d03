#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app_link/port_file.h"
#include "oracles.h"

// Whatever the port file holds, a port comes out only for an optional plus
// and digits worth at most 65535, and then it is their value.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  // The host reads only UTF-8 port files.
  if (!tavorin::fuzzing::reference_is_valid(text)) return 0;
  auto port = tavorin::parse_port(text);
  std::string_view digits = tavorin::fuzzing::reference_trim(text);
  if (digits.starts_with('+')) digits.remove_prefix(1);
  bool all_digits = !digits.empty();
  unsigned long value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') {
      all_digits = false;
      break;
    }
    if (value <= 65535)
      value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  bool expected = all_digits && value <= 65535;
  if (port.has_value() != expected) std::abort();
  if (port && *port != value) std::abort();
  return 0;
}
