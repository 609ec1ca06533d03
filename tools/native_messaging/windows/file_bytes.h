#pragma once

#include <windows.h>

#include <expected>
#include <string>

namespace tavorin::native_messaging {

// Every byte of a file as the browser reads a manifest (shared with a writer
// that may hold it open), or the system's error code.
std::expected<std::string, DWORD> read_file_bytes(const std::wstring& path);

}  // namespace tavorin::native_messaging
