#include "log/error_text.h"

#include <array>
#include <charconv>

#include "platform/platform.h"

namespace tavorin {

std::string error_text(Platform& os, const IoError& error) {
  switch (error.form()) {
    case IoError::Form::System: {
      std::array<char, 16> digits{};
      auto [end, ec] = std::to_chars(
          digits.data(), digits.data() + digits.size(), error.code());
      (void)ec;
      std::string text = os.system_message(error.code());
      text += " (os error ";
      text.append(digits.data(), end);
      text += ')';
      return text;
    }
    case IoError::Form::KindOnly:
      return std::string(kind_description(error.kind()));
    case IoError::Form::Fixed:
    case IoError::Form::Custom: return std::string(error.message());
  }
  return std::string(kind_description(error.kind()));
}

}  // namespace tavorin
