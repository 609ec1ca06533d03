#include "platform/fatal_error.h"

#include "platform/platform.h"
#include "text/decimal.h"

namespace tavorin {

namespace {

void write_ignoring_failure(Platform& os, std::string_view text) {
  while (!text.empty()) {
    Result<std::size_t> written = os.write_stderr(text);
    if (!written || *written == 0) return;
    text.remove_prefix(*written);
  }
}

}  // namespace

void fatal_error(Platform& os, std::string_view message,
                 std::source_location where) {
  write_ignoring_failure(os, "\nthread 'main' panicked at ");
  write_ignoring_failure(os, where.file_name());
  write_ignoring_failure(os, ":");
  write_ignoring_failure(os, Decimal(where.line()));
  write_ignoring_failure(os, ":\n");
  write_ignoring_failure(os, message);
  write_ignoring_failure(os, "\n");
  os.exit_process(FATAL_EXIT_STATUS);
}

}  // namespace tavorin
