#include <cstdint>
#include <cstdlib>
#include <string>

#include "oracles.h"
#include "text/quoted_path.h"

namespace {

// The code points of generalised UTF-8 (surrogates allowed), each byte that
// starts no sequence taken as itself.
template <typename Visit>
void each_code_point(std::string_view text, Visit&& visit) {
  for (std::size_t at = 0; at < text.size();) {
    auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = lead < 0xC0   ? 1
                         : lead < 0xE0 ? 2
                         : lead < 0xF0 ? 3
                                       : 4;
    char32_t c = length == 1 ? lead : lead & (0x7Fu >> length);
    bool whole = at + length <= text.size();
    for (std::size_t i = 1; whole && i < length; ++i) {
      auto next = static_cast<unsigned char>(text[at + i]);
      whole = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3Fu);
    }
    if (!whole) {
      length = 1;
      c = lead;
    }
    visit(c);
    at += length;
  }
}

}  // namespace

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
  // No character that hides or reorders text stands raw between the quotes.
  each_code_point(std::string_view(quoted).substr(1, quoted.size() - 2),
                  [](char32_t c) {
                    if (tavorin::fuzzing::must_be_escaped(c)) std::abort();
                  });
  return 0;
}
