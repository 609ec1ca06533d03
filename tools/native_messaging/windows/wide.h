#pragma once

#include <string>
#include <string_view>

namespace tavorin::native_messaging {

// UTF-8 and the system's UTF-16, for paths, keys and command lines.
std::wstring widen(std::string_view text);
std::string narrow(std::wstring_view text);

}  // namespace tavorin::native_messaging
