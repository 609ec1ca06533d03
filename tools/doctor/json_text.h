#pragma once

#include <string>
#include <string_view>

namespace tavorin::doctor {

// The text as a JSON string, quotes included: quotes, backslashes and
// control characters escaped, ill-formed UTF-8 (a Linux path may hold any
// bytes) replaced by U+FFFD so that the output stays valid JSON.
std::string json_string(std::string_view text);

}  // namespace tavorin::doctor
