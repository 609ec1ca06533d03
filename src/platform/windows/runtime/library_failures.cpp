#include <string_view>

#include "platform/fatal_error.h"
#include "platform/windows/active_platform.h"
#include "platform/windows/runtime/immediate_stop.h"
#include "platform/windows/windows_platform.h"

// Without exceptions, the standard library reports a broken precondition
// through these hooks and the compiler through the pure-virtual and abort
// calls. A size beyond what memory can ever hold is a request that cannot
// be met, and stops at once; every other one is a fault of the host and
// takes the fatal-error path.

namespace {

[[noreturn]] void fail(std::string_view message) {
  tavorin::WindowsPlatform* os = tavorin::active_platform();
  if (os == nullptr) tavorin::stop_immediately({message});
  tavorin::fatal_error(*os, message);
}

// The size asked for is not known here, only who asked.
[[noreturn]] void fail_without_memory(std::string_view who) {
  tavorin::stop_immediately({"memory allocation failed: ", who});
}

}  // namespace

extern "C" [[noreturn]] void __cxa_pure_virtual() {
  fail("pure virtual method called");
}

extern "C" [[noreturn]] void abort() { fail("abort() called"); }

namespace std {

[[noreturn]] void __throw_bad_alloc() { fail_without_memory("allocator"); }
[[noreturn]] void __throw_length_error(const char* what) {
  fail_without_memory(what);
}
[[noreturn]] void __throw_logic_error(const char* what) { fail(what); }
[[noreturn]] void __throw_out_of_range_fmt(const char* format, ...) {
  fail(format);
}

}  // namespace std
