#include <cstdint>
#include <cstdlib>
#include <string>

#include "text/quoted_path.h"

// A quoted path is one unbroken token in a log line: quoted at both ends, no
// raw control character, no quote left unescaped.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string path(reinterpret_cast<const char*>(data), size);
  std::string quoted = tavorin::quoted_form(path);
  if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') {
    std::abort();
  }
  bool escaped = false;
  for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
    auto c = static_cast<unsigned char>(quoted[i]);
    if (c < 0x20 || c == 0x7F) std::abort();
    if (c == '"' && !escaped) std::abort();
    escaped = c == '\\' && !escaped;
  }
  if (escaped) std::abort();  // a dangling backslash would eat the quote
  return 0;
}
