#pragma once

#include <string_view>

namespace tavorin::example {

// True when the text is exactly one JSON value, blanks around it allowed.
// Nesting deeper than 64 levels counts as not JSON.
bool is_json(std::string_view text);

}  // namespace tavorin::example
