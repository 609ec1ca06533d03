#pragma once

#include <string_view>

namespace tavorin::fuzzing {

// Rules the fuzz targets hold the host to, written here from the Unicode
// tables rather than taken from the code under test.

// True when the bytes are well-formed UTF-8 (the reference decoder leaves
// them as they are).
bool reference_is_valid(std::string_view bytes);

// Well-formed UTF-8 without the White_Space characters at its end, or at
// both ends.
std::string_view reference_trim_end(std::string_view text);
std::string_view reference_trim(std::string_view text);

// Whether a path's character must never stand raw in a log line: controls,
// invisible and reordering format characters, a combining mark that would
// fuse with the quote before it, and lone surrogates.
bool must_be_escaped(char32_t c);

}  // namespace tavorin::fuzzing
