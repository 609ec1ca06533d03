#include "extension_ids.h"

#include <algorithm>

namespace tavorin::native_messaging {

namespace {

bool is_hex_digit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
         (c >= 'A' && c <= 'F');
}

// What Firefox allows on either side of the @ of an ID: ASCII letters of
// either case, digits, '-', '.' and '_'.
bool is_id_character(char c) {
  return is_hex_digit(c) || (c >= 'g' && c <= 'z') || (c >= 'G' && c <= 'Z') ||
         c == '-' || c == '.' || c == '_';
}

bool is_chromium_id(std::string_view id) {
  return id.size() == 32 &&
         std::ranges::all_of(id, [](char c) { return c >= 'a' && c <= 'p'; });
}

// {8-4-4-4-12 hexadecimal digits}, braces included.
bool is_braced_guid(std::string_view id) {
  constexpr std::string_view SHAPE = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
  if (id.size() != SHAPE.size()) return false;
  for (std::size_t i = 0; i < id.size(); ++i) {
    bool fits = SHAPE[i] == 'x' ? is_hex_digit(id[i]) : id[i] == SHAPE[i];
    if (!fits) return false;
  }
  return true;
}

// One @, any run of ID characters before it (even none), at least one after.
bool is_email_like(std::string_view id) {
  std::size_t at = id.find('@');
  if (at == std::string_view::npos || at + 1 == id.size()) return false;
  std::string_view name = id.substr(0, at);
  std::string_view domain = id.substr(at + 1);
  return std::ranges::all_of(name, is_id_character) &&
         std::ranges::all_of(domain, is_id_character);
}

}  // namespace

ExtensionIdForm extension_id_form(std::string_view id) {
  if (is_chromium_id(id)) return ExtensionIdForm::Chromium;
  if (is_braced_guid(id) || is_email_like(id)) return ExtensionIdForm::Firefox;
  return ExtensionIdForm::Neither;
}

}  // namespace tavorin::native_messaging
