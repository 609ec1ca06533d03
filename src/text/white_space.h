#pragma once

#include <string_view>

namespace tavorin {

// Trims characters with the Unicode White_Space property (tab to carriage
// return, space, U+0085, U+00A0, U+1680, U+2000 to U+200A, U+2028, U+2029,
// U+202F, U+205F, U+3000) from well-formed UTF-8 text. U+FEFF is not white
// space. The results are views into the text: nothing is copied.
std::string_view trim_end(std::string_view text);
std::string_view trim_start(std::string_view text);
std::string_view trim(std::string_view text);

}  // namespace tavorin
