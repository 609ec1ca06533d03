#pragma once

#include <expected>
#include <string>

namespace tavorin::windows_check {

enum class EmbeddedFile { Host, Script, App };

// Writes a file this program carries to the path (a new file).
std::expected<void, std::string> write_embedded(EmbeddedFile file,
                                                const std::wstring& path);

// Puts the host to test at the path: a copy of `given`, or without one the
// host this program carries.
std::expected<void, std::string> place_host(const std::wstring& given,
                                            const std::wstring& path);

}  // namespace tavorin::windows_check
