#pragma once

#include <string>
#include <string_view>

#include "options.h"

namespace tavorin::example {

// The normal answer to one received line (without its line feed):
//   {"ok":true,"echo":LINE}       when LINE is one JSON value, inserted as is
//   {"ok":true,"echo":"LINE"}     otherwise, LINE as a JSON string
std::string echo_answer(std::string_view line);

// Everything the app sends back for one received line, line feeds included,
// as the options shape it. Empty for a silent app.
std::string answer_bytes(const AppOptions& options, std::string_view line);

}  // namespace tavorin::example
