#include "json.h"

#include <cstdint>
#include <utility>

#include "text/utf8.h"
#include "text/utf8_encode.h"

namespace tavorin::native_messaging {

namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::expected<JsonValue, JsonError> parse_document() {
    JsonValue value;
    skip_blanks();
    if (!parse_value(value, 0)) return std::unexpected(error_);
    skip_blanks();
    if (at_ < text_.size()) {
      fail("text after the JSON value");
      return std::unexpected(error_);
    }
    return value;
  }

 private:
  bool fail(std::string reason) {
    error_ = {at_, std::move(reason)};
    return false;
  }

  bool at_end() const { return at_ >= text_.size(); }
  char peek() const { return at_end() ? '\0' : text_[at_]; }

  void skip_blanks() {
    while (!at_end() && (peek() == ' ' || peek() == '\t' || peek() == '\n' ||
                         peek() == '\r')) {
      ++at_;
    }
  }

  bool take(char expected) {
    if (peek() != expected) return false;
    ++at_;
    return true;
  }

  bool take_word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) {
      return fail("unexpected character");
    }
    at_ += word.size();
    return true;
  }

  // `depth` counts the arrays and objects around the value.
  bool parse_value(JsonValue& value, int depth) {
    switch (peek()) {
      case '{': return parse_object(value, depth);
      case '[': return parse_array(value, depth);
      case '"':
        value.kind = JsonValue::Kind::String;
        return parse_string(value.text);
      case 't':
        value.kind = JsonValue::Kind::Boolean;
        value.boolean = true;
        return take_word("true");
      case 'f':
        value.kind = JsonValue::Kind::Boolean;
        return take_word("false");
      case 'n': value.kind = JsonValue::Kind::Null; return take_word("null");
      default: return parse_number(value);
    }
  }

  bool parse_object(JsonValue& value, int depth) {
    if (depth >= MAX_JSON_NESTING) return fail("nested too deeply");
    value.kind = JsonValue::Kind::Object;
    ++at_;
    skip_blanks();
    if (take('}')) return true;
    for (;;) {
      skip_blanks();
      std::string name;
      if (peek() != '"') return fail("expected a member name in quotes");
      if (!parse_string(name)) return false;
      skip_blanks();
      if (!take(':')) return fail("expected ':' after a member name");
      skip_blanks();
      JsonValue member;
      if (!parse_value(member, depth + 1)) return false;
      value.members.emplace_back(std::move(name), std::move(member));
      skip_blanks();
      if (take('}')) return true;
      if (!take(',')) return fail("expected ',' or '}' in an object");
      skip_blanks();
      if (peek() == '}') return fail("a comma before '}'");
    }
  }

  bool parse_array(JsonValue& value, int depth) {
    if (depth >= MAX_JSON_NESTING) return fail("nested too deeply");
    value.kind = JsonValue::Kind::Array;
    ++at_;
    skip_blanks();
    if (take(']')) return true;
    for (;;) {
      skip_blanks();
      JsonValue item;
      if (!parse_value(item, depth + 1)) return false;
      value.items.push_back(std::move(item));
      skip_blanks();
      if (take(']')) return true;
      if (!take(',')) return fail("expected ',' or ']' in an array");
      skip_blanks();
      if (peek() == ']') return fail("a comma before ']'");
    }
  }

  bool parse_hex4(char32_t& unit) {
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      char c = peek();
      int digit = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : -1;
      if (digit < 0) return fail("a \\u escape needs four hex digits");
      unit = unit * 16 + static_cast<char32_t>(digit);
      ++at_;
    }
    return true;
  }

  bool parse_unicode_escape(std::string& out) {
    char32_t unit = 0;
    if (!parse_hex4(unit)) return false;
    if (unit >= 0xDC00 && unit <= 0xDFFF) return fail("a lone low surrogate");
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      char32_t low = 0;
      if (!take('\\') || !take('u') || !parse_hex4(low) || low < 0xDC00 ||
          low > 0xDFFF) {
        return fail("a high surrogate without its low surrogate");
      }
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    append_utf8(out, unit);
    return true;
  }

  bool parse_escape(std::string& out) {
    char c = peek();
    ++at_;
    switch (c) {
      case '"': out += '"'; return true;
      case '\\': out += '\\'; return true;
      case '/': out += '/'; return true;
      case 'b': out += '\b'; return true;
      case 'f': out += '\f'; return true;
      case 'n': out += '\n'; return true;
      case 'r': out += '\r'; return true;
      case 't': out += '\t'; return true;
      case 'u': return parse_unicode_escape(out);
      default: --at_; return fail("an unknown escape");
    }
  }

  bool parse_string(std::string& out) {
    ++at_;  // the opening quote
    for (;;) {
      if (at_end()) return fail("a string without its closing quote");
      char c = peek();
      if (c == '"') {
        ++at_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) {
        return fail("a control character inside a string");
      }
      ++at_;
      if (c == '\\') {
        if (!parse_escape(out)) return false;
      } else {
        out += c;
      }
    }
  }

  bool take_digits() {
    std::size_t start = at_;
    while (peek() >= '0' && peek() <= '9') ++at_;
    return at_ > start;
  }

  bool parse_number(JsonValue& value) {
    std::size_t start = at_;
    take('-');
    if (take('0')) {
      if (peek() >= '0' && peek() <= '9') return fail("a leading zero");
    } else if (!take_digits()) {
      return fail("unexpected character");
    }
    if (take('.') && !take_digits()) return fail("digits after '.'");
    if (take('e') || take('E')) {
      if (!take('+')) take('-');
      if (!take_digits()) return fail("digits in the exponent");
    }
    value.kind = JsonValue::Kind::Number;
    value.text = std::string(text_.substr(start, at_ - start));
    return true;
  }

  std::string_view text_;
  std::size_t at_ = 0;
  JsonError error_{};
};

}  // namespace

const JsonValue* JsonValue::member(std::string_view name) const {
  const JsonValue* found = nullptr;
  for (const auto& [key, value] : members) {
    if (key == name) found = &value;
  }
  return found;
}

std::expected<JsonValue, JsonError> parse_json(std::string_view text) {
  std::size_t valid = valid_utf8_prefix(text);
  if (valid != text.size()) {
    return std::unexpected(JsonError{valid, std::string(NOT_UTF8_REASON)});
  }
  std::size_t skipped =
      text.starts_with(BYTE_ORDER_MARK) ? BYTE_ORDER_MARK.size() : 0;
  std::expected<JsonValue, JsonError> value =
      Parser(text.substr(skipped)).parse_document();
  if (!value) value.error().offset += skipped;
  return value;
}

}  // namespace tavorin::native_messaging
