#pragma once

#include <windows.h>

#include <expected>
#include <span>
#include <string>
#include <string_view>

namespace tavorin::native_messaging {

// How the browser starts a host: Chrome and Edge through cmd.exe with its
// standard streams redirected to two named pipes, or (policy
// NativeHostsExecutablesLaunchDirectly, for an .exe) the program itself
// with the pipes as inherited synchronous handles; Firefox the program
// itself with no console at all (CREATE_NO_WINDOW), its standard error a
// pipe it reads (subprocess_worker_win.js).
enum class LaunchMode { ThroughCmd, Direct, Firefox };

// What the host gets as standard error. Chrome, a program without a
// console, passes cmd.exe no handle at all, and Windows gives cmd.exe a new
// console, hidden: HiddenConsole does the same (for a direct start it passes
// Chrome's own standard error, null, and the console still comes). Parent,
// Null and InvalidHandle pass that handle; Pipe hands the caller the host's
// log to read; NulDevice opens NUL for it, as a browser started with
// "2>nul" would pass.
enum class ErrorStream {
  Parent,
  Null,
  InvalidHandle,
  Pipe,
  HiddenConsole,
  NulDevice
};

struct StartedHost {
  HANDLE process = nullptr;  // cmd.exe, or the host itself
  DWORD process_id = 0;
  HANDLE to_host = nullptr;    // the server end of the host's standard input
  HANDLE from_host = nullptr;  // the server end of its standard output
  HANDLE log = nullptr;        // the read end of its standard error, for Pipe
};

// Starts the program as the browser does, with the browser's arguments (a
// Chromium-family browser's extension origin; Firefox's manifest path and
// extension ID), the current directory set to the program's folder, and
// waits (at most `connect_ms`) until it has opened both pipes. On failure,
// why.
std::expected<StartedHost, std::string> start_host(
    const std::wstring& program, std::span<const std::string> arguments,
    LaunchMode mode, ErrorStream error_stream, DWORD connect_ms);

// The program a manifest names: a relative path is taken from the
// manifest's folder, as the browser does on Windows.
std::wstring resolve_host_path(const std::wstring& manifest_path,
                               const std::wstring& path);

// Reads from a handle opened for overlapped use or not; 0 at the end.
DWORD read_handle(HANDLE handle, void* buffer, DWORD size);
// Writes all bytes; false when the other end has gone.
bool write_handle(HANDLE handle, const void* bytes, DWORD size);

}  // namespace tavorin::native_messaging
