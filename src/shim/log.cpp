#include "shim/log.h"

#include <charconv>
#include <cstring>

#include "platform/fatal_error.h"
#include "platform/platform.h"
#include "shim/error_text.h"

namespace tavorin {

namespace {

// Collects a line's small pieces so that a usual line costs one write, while
// a long value (a whole message) goes out as it is instead of being copied.
class LineWriter {
 public:
  explicit LineWriter(Platform& os) : os_(os) {}

  void append(std::string_view text) {
    if (used_ + text.size() > buffer_.size()) flush();
    if (text.size() > buffer_.size()) {
      write_piece(text);
      return;
    }
    std::memcpy(buffer_.data() + used_, text.data(), text.size());
    used_ += text.size();
  }

  template <typename Number>
  void append_number(Number number) {
    std::array<char, 24> digits{};
    auto [end, ec] =
        std::to_chars(digits.data(), digits.data() + digits.size(), number);
    (void)ec;
    append(std::string_view(digits.data(),
                            static_cast<std::size_t>(end - digits.data())));
  }

  void flush() {
    if (used_ == 0) return;
    write_piece(std::string_view(buffer_.data(), used_));
    used_ = 0;
  }

 private:
  void write_piece(std::string_view piece) {
    while (!piece.empty()) {
      Result<std::size_t> written = os_.write_stderr(piece);
      if (written && *written == 0) fail(WRITE_ZERO_ERROR);
      if (written) {
        piece.remove_prefix(*written);
        continue;
      }
      if (written.error().kind() == ErrorKind::Interrupted) continue;
      // A missing standard error drops the line without a trace.
      if (written.error().is_system_code(ERROR_INVALID_HANDLE_CODE)) return;
      fail(written.error());
    }
  }

  [[noreturn]] void fail(const IoError& error) {
    fatal_error(os_, "failed printing to stderr: " + error_text(os_, error));
  }

  Platform& os_;
  std::array<char, 512> buffer_{};
  std::size_t used_ = 0;
};

void append_value(Platform& os, LineWriter& line, const LogValue& value) {
  switch (value.type()) {
    case LogValue::Type::Text: line.append(value.text()); return;
    case LogValue::Type::Signed:
      line.append_number(value.signed_number());
      return;
    case LogValue::Type::Unsigned:
      line.append_number(value.unsigned_number());
      return;
    case LogValue::Type::Error:
      line.append(error_text(os, value.error()));
      return;
  }
}

}  // namespace

void write_log_line_values(Platform& os, std::string_view template_text,
                           std::span<const LogValue> values) {
  LineWriter line(os);
  line.append(LOG_PREFIX);
  for (const LogValue& value : values) {
    std::size_t hole = template_text.find("{}");
    if (hole == std::string_view::npos) break;
    line.append(template_text.substr(0, hole));
    append_value(os, line, value);
    template_text.remove_prefix(hole + 2);
  }
  line.append(template_text);
  line.append("\n");
  line.flush();
}

}  // namespace tavorin
