#include "log/error_text.h"

#include "platform/platform.h"
#include "text/decimal.h"

namespace tavorin {

std::string error_text(Platform& os, const IoError& error) {
  switch (error.form()) {
    case IoError::Form::System: {
      std::string text = os.system_message(error.code());
      text += " (os error ";
      text += Decimal(error.code()).view();
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
