#pragma once

#include <array>
#include <charconv>
#include <concepts>
#include <cstddef>
#include <string>
#include <string_view>

namespace tavorin {

// A number as plain decimal digits (a minus sign for a negative one), held
// in a buffer of its own: rendering it allocates nothing, so even a report
// of exhausted memory can use it.
class Decimal {
 public:
  template <std::integral Number>
  explicit Decimal(Number number) {
    const char* end =
        std::to_chars(digits_.data(), digits_.data() + digits_.size(), number)
            .ptr;
    size_ = static_cast<std::size_t>(end - digits_.data());
  }

  std::string_view view() const { return {digits_.data(), size_}; }
  operator std::string_view() const { return view(); }

 private:
  // Enough for any 64-bit number and its sign.
  std::array<char, 24> digits_{};
  std::size_t size_ = 0;
};

// The same digits as a string of their own.
template <std::integral Number>
std::string decimal_string(Number number) {
  return std::string(Decimal(number).view());
}

}  // namespace tavorin
