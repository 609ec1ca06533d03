#include "json_text.h"

#include "text/utf8.h"

namespace tavorin::doctor {

namespace {

constexpr char HEX_DIGITS[] = "0123456789abcdef";

void append_escaped(std::string& out, char c) {
  switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: break;
  }
  auto byte = static_cast<unsigned char>(c);
  if (byte < 0x20 || byte == 0x7F) {
    out += "\\u00";
    out += HEX_DIGITS[byte >> 4];
    out += HEX_DIGITS[byte & 0xF];
    return;
  }
  out += c;
}

}  // namespace

std::string json_string(std::string_view text) {
  std::string utf8 = decode_payload(std::string(text));
  std::string out = "\"";
  for (char c : utf8) append_escaped(out, c);
  out += '"';
  return out;
}

}  // namespace tavorin::doctor
