#include "platform/windows/wide_text.h"

#include <cstdint>

#include "text/utf8_encode.h"

namespace tavorin {

namespace {

constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;

bool is_high_surrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low_surrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

struct Decoded {
  char32_t code_point;
  std::size_t length;
};

// The smallest code point each sequence length may carry; anything below is
// an overlong form.
constexpr char32_t minimum_for_length(std::size_t length) {
  return length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
}

std::size_t sequence_length(std::uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// One code point of generalized UTF-8 at `at`: surrogate code points are
// accepted, every other ill-formed byte decodes to U+FFFD on its own.
Decoded decode_generalized(std::string_view text, std::size_t at) {
  auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  std::uint8_t lead = byte(at);
  std::size_t length = sequence_length(lead);
  if (length == 1) return {lead, 1};
  if (length == 0 || at + length > text.size()) {
    return {REPLACEMENT_CHARACTER, 1};
  }
  char32_t code_point = lead & (0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i) {
    std::uint8_t next = byte(at + i);
    if ((next & 0xC0) != 0x80) return {REPLACEMENT_CHARACTER, 1};
    code_point = (code_point << 6) | (next & 0x3Fu);
  }
  if (code_point < minimum_for_length(length) || code_point > 0x10FFFF) {
    return {REPLACEMENT_CHARACTER, 1};
  }
  return {code_point, length};
}

template <typename Append>
void encode_utf16(char32_t code_point, Append&& append) {
  if (code_point < 0x10000) {
    append(static_cast<wchar_t>(code_point));
    return;
  }
  char32_t offset = code_point - 0x10000;
  append(static_cast<wchar_t>(0xD800 + (offset >> 10)));
  append(static_cast<wchar_t>(0xDC00 + (offset & 0x3FF)));
}

// The code point at `at` and how many units it takes; an unpaired surrogate
// comes back as itself.
Decoded decode_utf16(std::span<const wchar_t> units, std::size_t at) {
  char32_t unit = units[at];
  if (is_high_surrogate(unit) && at + 1 < units.size()) {
    char32_t next = units[at + 1];
    if (is_low_surrogate(next)) {
      return {0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00), 2};
    }
  }
  return {unit, 1};
}

bool is_surrogate(char32_t code_point) {
  return is_high_surrogate(code_point) || is_low_surrogate(code_point);
}

}  // namespace

std::vector<wchar_t> to_wide_path(std::string_view path) {
  std::vector<wchar_t> wide;
  wide.reserve(path.size() + 1);
  for (std::size_t at = 0; at < path.size();) {
    Decoded decoded = decode_generalized(path, at);
    encode_utf16(decoded.code_point,
                 [&](wchar_t unit) { wide.push_back(unit); });
    at += decoded.length;
  }
  wide.push_back(L'\0');
  return wide;
}

std::string from_wide_path(std::span<const wchar_t> units) {
  std::string text;
  text.reserve(units.size());
  for (std::size_t at = 0; at < units.size();) {
    Decoded decoded = decode_utf16(units, at);
    append_utf8(text, decoded.code_point);
    at += decoded.length;
  }
  return text;
}

std::optional<std::string> from_wide_strict(std::span<const wchar_t> units) {
  std::string text;
  text.reserve(units.size());
  for (std::size_t at = 0; at < units.size();) {
    Decoded decoded = decode_utf16(units, at);
    if (is_surrogate(decoded.code_point)) return std::nullopt;
    append_utf8(text, decoded.code_point);
    at += decoded.length;
  }
  return text;
}

std::size_t utf8_to_wide(std::string_view text, std::span<wchar_t> out) {
  std::size_t count = 0;
  for (std::size_t at = 0; at < text.size();) {
    Decoded decoded = decode_generalized(text, at);
    encode_utf16(decoded.code_point,
                 [&](wchar_t unit) { out[count++] = unit; });
    at += decoded.length;
  }
  return count;
}

}  // namespace tavorin
