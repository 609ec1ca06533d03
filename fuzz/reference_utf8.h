#pragma once

#include <string>
#include <string_view>

namespace tavorin::fuzzing {

// A second decoder, written straight from the Unicode Standard's table of
// well-formed byte sequences, to hold the host's decoder to.
std::string reference_decode(std::string_view bytes);

}  // namespace tavorin::fuzzing
