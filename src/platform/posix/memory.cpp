#include <unistd.h>

#include <array>
#include <charconv>
#include <cstdlib>
#include <new>
#include <string_view>

// The host cannot go on without memory, and a fatal-error report would need
// more of it: say how much was asked for and stop at once.
namespace {

[[noreturn]] void stop_without_memory(std::size_t size) {
  std::array<char, 80> line{};
  std::string_view head = "memory allocation of ";
  std::string_view tail = " bytes failed\n";
  char* at = std::copy(head.begin(), head.end(), line.data());
  at = std::to_chars(at, line.data() + line.size() - tail.size(), size).ptr;
  at = std::copy(tail.begin(), tail.end(), at);
  (void)!::write(STDERR_FILENO, line.data(),
                 static_cast<std::size_t>(at - line.data()));
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
