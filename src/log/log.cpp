#include "log/log.h"

#include "log/error_text.h"
#include "platform/fatal_error.h"
#include "platform/platform.h"
#include "platform/transfer.h"
#include "text/decimal.h"

namespace tavorin {

namespace {

// The most values any log line of the host carries, with room to spare.
constexpr std::size_t MAX_VALUES = 4;
constexpr std::size_t MAX_PIECES = 2 * MAX_VALUES + 3;

// A value rendered for the line: numbers in a small array of their own,
// error texts in a string, text taken as it is (a whole message is never
// copied for its log line).
class RenderedValue {
 public:
  std::string_view render(Platform& os, const LogValue& value) {
    switch (value.type()) {
      case LogValue::Type::Text: return value.text();
      case LogValue::Type::Signed: return digits(value.signed_number());
      case LogValue::Type::Unsigned: return digits(value.unsigned_number());
      case LogValue::Type::Error:
        error_text_ = error_text(os, value.error());
        return error_text_;
    }
    return {};
  }

 private:
  template <typename Number>
  std::string_view digits(Number number) {
    return digits_.emplace(number).view();
  }

  std::optional<Decimal> digits_;
  std::string error_text_;
};

}  // namespace

void write_log_line_values(Platform& os, std::string_view template_text,
                           std::span<const LogValue> values) {
  std::array<RenderedValue, MAX_VALUES> rendered;
  std::array<std::string_view, MAX_PIECES> pieces{};
  std::size_t count = 0;
  pieces[count++] = LOG_PREFIX;
  for (std::size_t i = 0; i < values.size() && i < MAX_VALUES; ++i) {
    std::size_t hole = template_text.find("{}");
    if (hole == std::string_view::npos) break;
    pieces[count++] = template_text.substr(0, hole);
    pieces[count++] = rendered[i].render(os, values[i]);
    template_text.remove_prefix(hole + 2);
  }
  pieces[count++] = template_text;
  pieces[count++] = "\n";

  // The whole line in one write where the system allows, so that lines of
  // several processes sharing standard error do not interleave.
  Status written = write_pieces_fully(
      [&os](std::span<const std::string_view> rest) {
        return os.write_stderr_pieces(rest);
      },
      pieces);
  if (written) return;
  // A missing standard error drops the line without a trace.
  if (written.error().is_system_code(ERROR_INVALID_HANDLE_CODE)) return;
  fatal_error(os,
              "failed printing to stderr: " + error_text(os, written.error()));
}

}  // namespace tavorin
