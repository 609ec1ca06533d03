#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/io_error.h"

namespace tavorin {

class Platform;

// Opens every line of the diagnostic log: U+1F527 WRENCH, a space, "shim:",
// a space.
inline constexpr std::string_view LOG_PREFIX = "\xF0\x9F\x94\xA7 shim: ";

// One value put in place of a "{}" of a log line's template.
class LogValue {
 public:
  enum class Type : std::uint8_t { Text, Signed, Unsigned, Error };

  LogValue(std::string_view text) : type_(Type::Text), text_(text) {}
  LogValue(const std::string& text) : type_(Type::Text), text_(text) {}
  LogValue(const char* text) : type_(Type::Text), text_(text) {}
  LogValue(const IoError& error) : type_(Type::Error), error_(error) {}
  template <std::signed_integral T>
  LogValue(T number) : type_(Type::Signed), signed_(number) {}
  template <std::unsigned_integral T>
  LogValue(T number) : type_(Type::Unsigned), unsigned_(number) {}

  Type type() const { return type_; }
  std::string_view text() const { return text_; }
  std::int64_t signed_number() const { return signed_; }
  std::uint64_t unsigned_number() const { return unsigned_; }
  const IoError& error() const { return error_; }

 private:
  Type type_;
  std::string_view text_;
  std::int64_t signed_ = 0;
  std::uint64_t unsigned_ = 0;
  IoError error_ = IoError::kind_only(ErrorKind::Uncategorized);
};

// Writes the log prefix, the template with each "{}" replaced by the next
// value, and a line feed to standard error. A missing standard error drops
// the line; any other failure to write it is fatal.
void write_log_line_values(Platform& os, std::string_view template_text,
                           std::span<const LogValue> values);

template <typename... Values>
void write_log_line(Platform& os, std::string_view template_text,
                    const Values&... values) {
  static_assert(sizeof...(Values) <= 4, "a log line takes at most 4 values");
  const std::array<LogValue, sizeof...(Values)> rendered{LogValue(values)...};
  write_log_line_values(os, template_text, rendered);
}

}  // namespace tavorin
