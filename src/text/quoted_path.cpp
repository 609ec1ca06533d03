#include "text/quoted_path.h"

#include <array>
#include <charconv>
#include <cstdint>

namespace tavorin {

namespace {

struct Range {
  char32_t first;
  char32_t last;
};

// Format and invisible characters that would hide in a log line.
constexpr std::array<Range, 12> UNPRINTABLE = {{
    {0x0000, 0x001F},
    {0x007F, 0x009F},
    {0x00AD, 0x00AD},
    {0x061C, 0x061C},
    {0x180E, 0x180E},
    {0x200B, 0x200F},
    {0x2028, 0x202E},
    {0x2060, 0x206F},
    {0xD800, 0xDFFF},
    {0xE000, 0xF8FF},
    {0xFEFF, 0xFEFF},
    {0xFFF0, 0xFFFF},
}};

// Combining marks that would fuse with the character before them.
constexpr std::array<Range, 14> COMBINING = {{
    {0x0300, 0x036F},
    {0x0483, 0x0489},
    {0x0591, 0x05BD},
    {0x0610, 0x061A},
    {0x064B, 0x065F},
    {0x0E31, 0x0E31},
    {0x0E34, 0x0E3A},
    {0x1AB0, 0x1AFF},
    {0x1DC0, 0x1DFF},
    {0x200C, 0x200C},
    {0x20D0, 0x20FF},
    {0x302A, 0x302F},
    {0xFE00, 0xFE0F},
    {0xFE20, 0xFE2F},
}};

template <std::size_t N>
bool in_ranges(const std::array<Range, N>& ranges, char32_t c) {
  for (const Range& range : ranges) {
    if (c >= range.first && c <= range.last) return true;
  }
  return false;
}

bool needs_unicode_escape(char32_t c) {
  return in_ranges(UNPRINTABLE, c) || in_ranges(COMBINING, c) ||
         (c >= 0xE0000 && c <= 0xE0FFF);
}

// Decodes one code point of generalised UTF-8 (surrogates allowed); a byte
// that starts no sequence decodes as itself so nothing is lost.
char32_t next_code_point(std::string_view text, std::size_t& at) {
  auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  std::uint8_t lead = byte(at);
  std::size_t length = lead < 0x80    ? 1
                       : lead >= 0xF0 ? 4
                       : lead >= 0xE0 ? 3
                       : lead >= 0xC0 ? 2
                                      : 1;
  if (at + length > text.size()) length = 1;
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) {
      length = 1;
      c = lead;
      break;
    }
    c = (c << 6) | (byte(at + i) & 0x3F);
  }
  at += length;
  return c;
}

void append_unicode_escape(std::string& out, char32_t c) {
  std::array<char, 8> digits{};
  auto [end, ec] = std::to_chars(digits.data(), digits.data() + digits.size(),
                                 static_cast<std::uint32_t>(c), 16);
  (void)ec;
  out += "\\u{";
  out.append(digits.data(), end);
  out += '}';
}

void append_escaped(std::string& out, char32_t c, std::string_view raw) {
  switch (c) {
    case '\\': out += "\\\\"; return;
    case '"': out += "\\\""; return;
    case '\t': out += "\\t"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\0': out += "\\0"; return;
    default: break;
  }
  if (needs_unicode_escape(c)) {
    append_unicode_escape(out, c);
    return;
  }
  out += raw;
}

}  // namespace

std::string quoted_form(std::string_view path) {
  std::string out;
  out.reserve(path.size() + 2);
  out += '"';
  for (std::size_t at = 0; at < path.size();) {
    std::size_t start = at;
    char32_t c = next_code_point(path, at);
    append_escaped(out, c, path.substr(start, at - start));
  }
  out += '"';
  return out;
}

}  // namespace tavorin
