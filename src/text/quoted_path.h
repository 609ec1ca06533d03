#pragma once

#include <string>
#include <string_view>

namespace tavorin {

// How a path reads in a log line: in double quotes, backslashes and quotes
// escaped, control characters, combining marks and lone surrogates as
// \u{hex}. Takes the path as UTF-8, lone surrogates encoded like any other
// code point (as Windows paths may hold them).
std::string quoted_form(std::string_view path);

}  // namespace tavorin
