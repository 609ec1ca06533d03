#include "platform/windows/message_text.h"

#include "platform/windows/wide_text.h"
#include "text/decimal.h"
#include "text/white_space.h"

namespace tavorin {

std::string system_message_text(std::int32_t id,
                                std::optional<std::span<const wchar_t>> units,
                                std::int32_t lookup_error) {
  if (!units) {
    return "OS Error " + decimal_string(id) +
           " (FormatMessageW() returned error " + decimal_string(lookup_error) +
           ")";
  }
  std::optional<std::string> text = from_wide_strict(*units);
  if (!text) {
    return "OS Error " + decimal_string(id) +
           " (FormatMessageW() returned invalid UTF-16)";
  }
  // The system ends its texts with a line break that would split the log
  // line before " (os error N)".
  return std::string(trim_end(*text));
}

}  // namespace tavorin
