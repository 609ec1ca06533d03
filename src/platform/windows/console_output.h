#pragma once

#include <cstddef>
#include <string_view>

#include "platform/io_error.h"
#include "platform/windows/win32.h"
#include "platform/windows/windows_platform.h"

namespace tavorin {

// Writes UTF-8 text to a console. A console that is not set to UTF-8 gets
// the text as UTF-16, so every character shows whatever its code page; a
// character cut off at the end of the bytes is kept in `carry` and
// completed by the next write. Returns how many of the bytes were taken.
// Needs no memory it cannot do without (a long text that the heap cannot
// convert goes in pieces from the stack), so that even a report of
// exhausted memory can use it.
Result<std::size_t> write_console(HANDLE console, ConsoleCarry& carry,
                                  std::string_view bytes);

// Where a long text's UTF-16 buffer comes from (the process heap; the block
// goes back to it). The tests hand one that fails, so that the stack's
// pieces run; nullptr puts the heap back.
using ConsoleBufferAllocator = void* (*)(std::size_t bytes);
void replace_console_buffer_allocator(ConsoleBufferAllocator allocate);

}  // namespace tavorin
