#pragma once

#include <string_view>

namespace tavorin::doctor {

// UTF-8 text to standard output or standard error: to a Windows console as
// UTF-16, so that every mark shows whatever its code page; to a pipe or a
// file as the UTF-8 bytes. Failures are ignored: there is nobody to tell.
void write_output(std::string_view text);
void write_error(std::string_view text);

}  // namespace tavorin::doctor
