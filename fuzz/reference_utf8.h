#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavorin::fuzzing {

// A second decoder, written straight from the Unicode Standard's table of
// well-formed byte sequences, to hold the host's decoder to.
std::string reference_decode(std::string_view bytes);

// The length of the longest well-formed prefix, by the same table.
std::size_t reference_valid_prefix(std::string_view bytes);

}  // namespace tavorin::fuzzing
