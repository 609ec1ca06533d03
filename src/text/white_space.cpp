#include "text/white_space.h"

#include <array>

namespace tavorin {

namespace {

// The multi-byte white-space characters, as UTF-8.
constexpr std::array<std::string_view, 18> WIDE_SPACES = {
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80",
    "\xE2\x80\x81", "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84",
    "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
    "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9",
    "\xE2\x80\xAF", "\xE2\x81\x9F",
};
constexpr std::string_view IDEOGRAPHIC_SPACE = "\xE3\x80\x80";

bool is_ascii_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The length of the white-space character that ends the text, or 0.
std::size_t trailing_space_length(std::string_view text) {
  if (text.empty()) return 0;
  if (is_ascii_space(text.back())) return 1;
  if (text.ends_with(IDEOGRAPHIC_SPACE)) return IDEOGRAPHIC_SPACE.size();
  for (std::string_view space : WIDE_SPACES) {
    if (text.ends_with(space)) return space.size();
  }
  return 0;
}

std::size_t leading_space_length(std::string_view text) {
  if (text.empty()) return 0;
  if (is_ascii_space(text.front())) return 1;
  if (text.starts_with(IDEOGRAPHIC_SPACE)) return IDEOGRAPHIC_SPACE.size();
  for (std::string_view space : WIDE_SPACES) {
    if (text.starts_with(space)) return space.size();
  }
  return 0;
}

}  // namespace

std::string_view trim_end(std::string_view text) {
  while (std::size_t length = trailing_space_length(text)) {
    text.remove_suffix(length);
  }
  return text;
}

std::string_view trim_start(std::string_view text) {
  while (std::size_t length = leading_space_length(text)) {
    text.remove_prefix(length);
  }
  return text;
}

std::string_view trim(std::string_view text) {
  return trim_start(trim_end(text));
}

}  // namespace tavorin
