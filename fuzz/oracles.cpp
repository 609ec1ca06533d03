#include "oracles.h"

#include <array>
#include <cstdint>

#include "reference_utf8.h"

namespace tavorin::fuzzing {

namespace {

constexpr std::array<char32_t, 25> WHITE_SPACE = {
    0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x0085, 0x00A0, 0x1680,
    0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008,
    0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};

bool is_white_space(char32_t c) {
  for (char32_t space : WHITE_SPACE) {
    if (c == space) return true;
  }
  return false;
}

std::uint8_t byte_at(std::string_view text, std::size_t at) {
  return static_cast<std::uint8_t>(text[at]);
}

// The code point of a well-formed sequence.
char32_t code_point(std::string_view sequence) {
  char32_t c = byte_at(sequence, 0);
  if (sequence.size() == 1) return c;
  c &= 0x7Fu >> sequence.size();
  for (std::size_t i = 1; i < sequence.size(); ++i) {
    c = (c << 6) | (byte_at(sequence, i) & 0x3Fu);
  }
  return c;
}

std::size_t last_sequence_length(std::string_view text) {
  std::size_t length = 1;
  while (length < text.size() &&
         (byte_at(text, text.size() - length) & 0xC0) == 0x80) {
    ++length;
  }
  return length;
}

std::size_t first_sequence_length(std::string_view text) {
  std::uint8_t lead = byte_at(text, 0);
  return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

}  // namespace

bool reference_is_valid(std::string_view bytes) {
  return reference_decode(bytes) == bytes;
}

std::string_view reference_trim_end(std::string_view text) {
  while (!text.empty()) {
    std::size_t length = last_sequence_length(text);
    if (!is_white_space(code_point(text.substr(text.size() - length)))) break;
    text.remove_suffix(length);
  }
  return text;
}

std::string_view reference_trim(std::string_view text) {
  text = reference_trim_end(text);
  while (!text.empty()) {
    std::size_t length = first_sequence_length(text);
    if (!is_white_space(code_point(text.substr(0, length)))) break;
    text.remove_prefix(length);
  }
  return text;
}

bool must_be_escaped(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) ||
         c == 0x061C || c == 0xFEFF || (c >= 0xD800 && c <= 0xDFFF) ||
         (c >= 0x0300 && c <= 0x036F) || (c >= 0xE0000 && c <= 0xE007F);
}

}  // namespace tavorin::fuzzing
