#include "platform/windows/message_text.h"

#include <array>
#include <charconv>

#include "platform/windows/wide_text.h"
#include "text/white_space.h"

namespace tavorin {

namespace {

std::string decimal(std::int32_t number) {
  std::array<char, 16> digits{};
  auto [end, ec] =
      std::to_chars(digits.data(), digits.data() + digits.size(), number);
  (void)ec;
  return std::string(digits.data(), end);
}

}  // namespace

std::string system_message_text(std::int32_t id,
                                std::optional<std::span<const wchar_t>> units,
                                std::int32_t lookup_error) {
  if (!units) {
    return "OS Error " + decimal(id) + " (FormatMessageW() returned error " +
           decimal(lookup_error) + ")";
  }
  std::optional<std::string> text = from_wide_strict(*units);
  if (!text) {
    return "OS Error " + decimal(id) +
           " (FormatMessageW() returned invalid UTF-16)";
  }
  // The system ends its texts with a line break that would split the log
  // line before " (os error N)".
  return std::string(trim_end(*text));
}

}  // namespace tavorin
