#include "platform/windows/runtime/immediate_stop.h"

#include "platform/windows/standard_streams.h"
#include "text/decimal.h"

namespace tavorin {

namespace {

constexpr unsigned FAST_FAIL_FATAL_APP_EXIT_CODE = 7;

void write_ignoring_failure(std::string_view text) {
  ConsoleCarry carry;
  while (!text.empty()) {
    Result<std::size_t> written =
        write_std_handle(STD_ERROR_HANDLE, carry, text);
    if (!written || *written == 0) return;
    text.remove_prefix(*written);
  }
}

// The fail-fast service: an interrupt the system turns into a report and
// the end of the process, with no handler of ours in the way.
[[noreturn]] void fail_fast(unsigned code) {
  asm volatile("int $0x29" : : "c"(code) : "memory");
  __builtin_unreachable();
}

}  // namespace

void stop_immediately(std::initializer_list<std::string_view> line) {
  for (std::string_view piece : line) write_ignoring_failure(piece);
  write_ignoring_failure("\n");
  fail_fast(FAST_FAIL_FATAL_APP_EXIT_CODE);
}

void stop_without_memory(std::size_t size) {
  stop_immediately({"memory allocation of ", Decimal(size), " bytes failed"});
}

}  // namespace tavorin
