#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <new>
#include <string_view>

#include "text/decimal.h"

// The host cannot go on without memory, and a fatal-error report would need
// more of it: say how much was asked for and stop at once.
namespace {

[[noreturn]] void stop_without_memory(std::size_t size) {
  const tavorin::Decimal digits(size);
  const std::array<std::string_view, 3> pieces = {
      "memory allocation of ", digits.view(), " bytes failed\n"};
  std::array<iovec, 3> line{};
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    line[i] = {const_cast<char*>(pieces[i].data()), pieces[i].size()};
  }
  (void)!::writev(STDERR_FILENO, line.data(), static_cast<int>(line.size()));
  std::abort();
}

void* allocate(std::size_t size) {
  if (size == 0) size = 1;
  void* memory = std::malloc(size);
  if (memory == nullptr) stop_without_memory(size);
  return memory;
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept {
  std::free(memory);
}
