#include "platform/fatal_error.h"

#include <array>
#include <charconv>

#include "platform/platform.h"

namespace tavorin {

namespace {

void write_ignoring_failure(Platform& os, std::string_view text) {
  while (!text.empty()) {
    Result<std::size_t> written = os.write_stderr(text);
    if (!written || *written == 0) return;
    text.remove_prefix(*written);
  }
}

std::string_view line_digits(std::uint_least32_t line,
                             std::array<char, 16>& digits) {
  auto [end, ec] =
      std::to_chars(digits.data(), digits.data() + digits.size(), line);
  (void)ec;
  return {digits.data(), static_cast<std::size_t>(end - digits.data())};
}

}  // namespace

void fatal_error(Platform& os, std::string_view message,
                 std::source_location where) {
  std::array<char, 16> digits{};
  write_ignoring_failure(os, "\nthread 'main' panicked at ");
  write_ignoring_failure(os, where.file_name());
  write_ignoring_failure(os, ":");
  write_ignoring_failure(os, line_digits(where.line(), digits));
  write_ignoring_failure(os, ":\n");
  write_ignoring_failure(os, message);
  write_ignoring_failure(os, "\n");
  os.exit_process(FATAL_EXIT_STATUS);
}

}  // namespace tavorin
