#include "platform/windows/console_output.h"

#include <array>
#include <cstdint>

#include "platform/console_pieces.h"
#include "platform/windows/error_codes.h"
#include "platform/windows/wide_text.h"
#include "text/utf8.h"
#include "text/utf8_sequence.h"

namespace tavorin {

namespace {

constexpr UINT UTF8_CODE_PAGE = 65001;

// Units a write can always have, from the stack. Text longer than this is
// converted in a buffer from the process heap, so that a long log line
// reaches the console in one call: a console takes one large write far
// faster than many small ones, and since Windows 8 a console call has no
// small size limit.
constexpr std::size_t STACK_UNITS = 4096;

// The most one console call is handed: its count is a DWORD.
constexpr std::size_t LARGEST_CALL = std::size_t{1} << 30;

std::size_t character_length(char lead) {
  auto byte = static_cast<std::uint8_t>(lead);
  if (byte < 0x80) return 1;
  return utf8::sequence_for(byte).continuations + 1;
}

bool is_continuation(char byte) {
  return utf8::is_continuation(static_cast<std::uint8_t>(byte));
}

void* allocate_from_heap(std::size_t bytes) {
  return HeapAlloc(GetProcessHeap(), 0, bytes);
}

constinit ConsoleBufferAllocator buffer_allocator = allocate_from_heap;

Status write_units(HANDLE console, std::span<const wchar_t> units) {
  return write_all_to_console(
      units, [console](std::span<const wchar_t> call) -> Result<std::size_t> {
        DWORD written = 0;
        if (!WriteConsoleW(console, call.data(),
                           static_cast<DWORD>(call.size()), &written,
                           nullptr)) {
          return std::unexpected(last_error());
        }
        return written;
      });
}

// Well-formed UTF-8 as UTF-16, in a buffer of the caller's.
Status convert_and_write(HANDLE console, std::string_view text,
                         std::span<wchar_t> units) {
  std::size_t count = utf8_to_wide(text, units);
  return write_units(console, units.first(count));
}

// Well-formed UTF-8, in one console call when the heap can hold its UTF-16
// form. When it cannot, the stack's share goes, ending on a whole
// character, so that even a report of exhausted memory gets written.
// Returns how many bytes were written.
Result<std::size_t> write_text(HANDLE console, std::string_view text) {
  text = text.substr(0, LARGEST_CALL);
  if (text.size() > STACK_UNITS) {
    void* block = buffer_allocator(text.size() * sizeof(wchar_t));
    if (block != nullptr) {
      Status written = convert_and_write(
          console, text, {static_cast<wchar_t*>(block), text.size()});
      HeapFree(GetProcessHeap(), 0, block);
      if (!written) return std::unexpected(written.error());
      return text.size();
    }
    text = text.substr(0, STACK_UNITS);
    text.remove_suffix(utf8::distance_to_last_start(text));
  }
  std::array<wchar_t, STACK_UNITS> units;
  if (Status written = convert_and_write(console, text, units); !written) {
    return std::unexpected(written.error());
  }
  return text.size();
}

// Adds one byte to the cut-off character; once it is whole it is written.
// One byte per call keeps the count of bytes taken exact whatever happens.
Result<std::size_t> continue_carry(HANDLE console, ConsoleCarry& carry,
                                   char next) {
  if (!is_continuation(next)) {
    carry.size = 0;
    return std::unexpected(CONSOLE_NON_UTF8_ERROR);
  }
  carry.bytes[carry.size++] = next;
  std::size_t needed = character_length(carry.bytes[0]);
  if (carry.size < needed) return 1;
  std::string_view character(carry.bytes.data(), carry.size);
  carry.size = 0;
  if (!is_valid_utf8(character)) {
    return std::unexpected(CONSOLE_NON_UTF8_ERROR);
  }
  if (Result<std::size_t> written = write_text(console, character); !written) {
    return std::unexpected(written.error());
  }
  return 1;
}

// The bytes open with something that is not a whole character: keep the
// lead of a character that the rest of the bytes could still complete.
Result<std::size_t> start_carry(ConsoleCarry& carry, std::string_view bytes) {
  std::size_t needed = character_length(bytes[0]);
  bool could_complete = needed > 1 && bytes.size() < needed;
  for (char byte : bytes.substr(1)) could_complete &= is_continuation(byte);
  if (could_complete) {
    carry.bytes[0] = bytes[0];
    carry.size = 1;
    return 1;
  }
  return std::unexpected(CONSOLE_NON_UTF8_ERROR);
}

// A console already set to UTF-8 takes the bytes as they are, all in one
// call.
Result<std::size_t> write_utf8_console(HANDLE console, std::string_view bytes) {
  bytes = bytes.substr(0, LARGEST_CALL);
  Status written = write_all_to_console(
      std::span<const char>(bytes),
      [console](std::span<const char> call) -> Result<std::size_t> {
        DWORD count = 0;
        if (!WriteConsoleA(console, call.data(),
                           static_cast<DWORD>(call.size()), &count, nullptr)) {
          return std::unexpected(last_error());
        }
        // The count reported is in characters on some systems: the bytes
        // handed over have all been taken.
        return call.size();
      });
  if (!written) return std::unexpected(written.error());
  return bytes.size();
}

}  // namespace

void replace_console_buffer_allocator(ConsoleBufferAllocator allocate) {
  buffer_allocator = allocate != nullptr ? allocate : allocate_from_heap;
}

Result<std::size_t> write_console(HANDLE console, ConsoleCarry& carry,
                                  std::string_view bytes) {
  if (bytes.empty()) return 0;
  if (carry.size > 0) return continue_carry(console, carry, bytes[0]);
  if (GetConsoleOutputCP() == UTF8_CODE_PAGE) {
    return write_utf8_console(console, bytes);
  }
  std::size_t valid = valid_utf8_prefix(bytes);
  if (valid == 0) return start_carry(carry, bytes);
  return write_text(console, bytes.substr(0, valid));
}

}  // namespace tavorin
