#pragma once

// The one way into the Windows headers: Windows Sockets must come before
// windows.h, the IP Helper's types come after both, and the macros below
// keep the headers from renaming our calls or defining min and max. The IP
// Helper's declarations import nothing: the program looks its one call up.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on
