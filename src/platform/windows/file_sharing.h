#pragma once

#include "platform/windows/win32.h"

namespace tavorin {

// The host's files are the desktop app's too: never stand in the way of
// another process reading, writing or deleting them.
inline constexpr DWORD SHARE_EVERYTHING =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace tavorin
