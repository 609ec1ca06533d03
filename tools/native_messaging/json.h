#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace tavorin::native_messaging {

// A member of an object: a type of its own, declared ahead, because clang
// with libstdc++ refuses a pair holding a JsonValue inside JsonValue itself,
// and the fuzz targets build with clang.
struct JsonMember;

// A JSON value as a browser reads a host manifest: strict RFC 8259 (no
// comments, no trailing commas, one value), over text that must be UTF-8.
struct JsonValue {
  enum class Kind { Null, Boolean, Number, String, Array, Object };

  Kind kind = Kind::Null;
  bool boolean = false;
  std::string text;  // a string's value, or a number's digits as written
  std::vector<JsonValue> items;
  std::vector<JsonMember> members;

  // The member of an object with that name (the last, as browsers take a
  // repeated name), or null.
  const JsonValue* member(std::string_view name) const;
};

struct JsonMember {
  std::string name;
  JsonValue value;
};

// Where and why the text is not JSON.
struct JsonError {
  std::size_t offset;
  std::string reason;
};

// The deepest that arrays and objects nest in what the reader takes: no
// manifest or policy comes near, and deeper text is refused rather than
// recursed into without end.
inline constexpr int MAX_JSON_NESTING = 64;

inline constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";
// The reason of a JsonError for bytes that are not UTF-8.
inline constexpr std::string_view NOT_UTF8_REASON = "not UTF-8";

// Parses the whole text. A UTF-8 byte-order mark at the start is skipped,
// as Chromium's reader does; the caller can see it for itself.
std::expected<JsonValue, JsonError> parse_json(std::string_view text);

}  // namespace tavorin::native_messaging
