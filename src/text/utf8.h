#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "text/utf8_validate.h"

namespace tavorin {

// The length of the longest prefix of the bytes that is well-formed UTF-8.
// Runs at memory speed over well-formed text of any script (see
// utf8_validate.h for the engines).
std::size_t valid_utf8_prefix(std::string_view bytes);

inline bool is_valid_utf8(std::string_view bytes) {
  return valid_utf8_prefix(bytes) == bytes.size();
}

// The bytes as UTF-8 text, each maximal ill-formed subpart replaced by
// U+FFFD (the Unicode Standard's and WHATWG's practice).
std::string decode_payload(std::string_view bytes);

}  // namespace tavorin
