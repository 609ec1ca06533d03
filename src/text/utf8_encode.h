#pragma once

#include <string>

namespace tavorin {

// Appends one code point as UTF-8. Surrogates are encoded like any other
// code point, so a Windows name with a lone one still comes through as
// bytes that say which one it was.
inline void append_utf8(std::string& out, char32_t code_point) {
  auto put = [&](char32_t bits) { out += static_cast<char>(bits); };
  if (code_point < 0x80) {
    put(code_point);
  } else if (code_point < 0x800) {
    put(0xC0 | (code_point >> 6));
    put(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    put(0xE0 | (code_point >> 12));
    put(0x80 | ((code_point >> 6) & 0x3F));
    put(0x80 | (code_point & 0x3F));
  } else {
    put(0xF0 | (code_point >> 18));
    put(0x80 | ((code_point >> 12) & 0x3F));
    put(0x80 | ((code_point >> 6) & 0x3F));
    put(0x80 | (code_point & 0x3F));
  }
}

}  // namespace tavorin
