#include "platform/windows/console_output.h"

#include <array>
#include <cstdint>

#include "platform/windows/error_codes.h"
#include "platform/windows/wide_text.h"
#include "text/utf8.h"

namespace tavorin {

namespace {

constexpr UINT UTF8_CODE_PAGE = 65001;

// Each byte of UTF-8 gives at most one UTF-16 unit, so a chunk this long
// always fits the unit buffer.
constexpr std::size_t CHUNK_BYTES = 4096;

std::size_t character_length(char lead) {
  auto byte = static_cast<std::uint8_t>(lead);
  if (byte < 0x80) return 1;
  if (byte >= 0xC2 && byte <= 0xDF) return 2;
  if (byte >= 0xE0 && byte <= 0xEF) return 3;
  if (byte >= 0xF0 && byte <= 0xF4) return 4;
  return 0;
}

bool is_continuation(char byte) {
  return (static_cast<std::uint8_t>(byte) & 0xC0) == 0x80;
}

Status write_units(HANDLE console, std::span<const wchar_t> units) {
  while (!units.empty()) {
    DWORD written = 0;
    if (!WriteConsoleW(console, units.data(), static_cast<DWORD>(units.size()),
                       &written, nullptr)) {
      return std::unexpected(last_error());
    }
    if (written == 0) return std::unexpected(WRITE_ZERO_ERROR);
    units = units.subspan(written);
  }
  return {};
}

// Well-formed UTF-8 of at most CHUNK_BYTES bytes, as UTF-16.
Status write_text(HANDLE console, std::string_view text) {
  std::array<wchar_t, CHUNK_BYTES> units;
  std::size_t count = utf8_to_wide(text, units);
  return write_units(console, std::span(units.data(), count));
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
  if (Status written = write_text(console, character); !written) {
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

// A console already set to UTF-8 takes the bytes as they are.
Result<std::size_t> write_utf8_console(HANDLE console, std::string_view bytes) {
  DWORD written = 0;
  auto length = static_cast<DWORD>(bytes.size() < CHUNK_BYTES ? bytes.size()
                                                              : CHUNK_BYTES);
  if (!WriteConsoleA(console, bytes.data(), length, &written, nullptr)) {
    return std::unexpected(last_error());
  }
  // The count reported is in characters on some systems: the bytes handed
  // over have all been taken.
  return length;
}

}  // namespace

Result<std::size_t> write_console(HANDLE console, ConsoleCarry& carry,
                                  std::string_view bytes) {
  if (bytes.empty()) return 0;
  if (carry.size > 0) return continue_carry(console, carry, bytes[0]);
  if (GetConsoleOutputCP() == UTF8_CODE_PAGE) {
    return write_utf8_console(console, bytes);
  }
  std::string_view chunk = bytes.substr(0, CHUNK_BYTES);
  std::size_t valid = valid_utf8_prefix(chunk);
  if (valid == 0) return start_carry(carry, bytes);
  if (Status written = write_text(console, chunk.substr(0, valid)); !written) {
    return std::unexpected(written.error());
  }
  return valid;
}

}  // namespace tavorin
