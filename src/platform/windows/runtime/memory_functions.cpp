#include <cstddef>

// The memory functions the compiler calls for copies, moves and fills. This
// file is built freestanding, so none of these loops can be turned back
// into a call of the function it implements.

extern "C" {

void* memcpy(void* destination, const void* source, std::size_t size) {
  void* start = destination;
  // One string move; modern processors run it at full copy speed.
  asm volatile("rep movsb"
               : "+D"(destination), "+S"(source), "+c"(size)
               :
               : "memory");
  return start;
}

void* memmove(void* destination, const void* source, std::size_t size) {
  auto* to = static_cast<unsigned char*>(destination);
  const auto* from = static_cast<const unsigned char*>(source);
  if (to <= from || to >= from + size) return memcpy(destination, source, size);
  // The blocks overlap with the destination above: copy from the end.
  while (size > 0) {
    --size;
    to[size] = from[size];
  }
  return destination;
}

void* memset(void* destination, int value, std::size_t size) {
  void* start = destination;
  asm volatile("rep stosb"
               : "+D"(destination), "+c"(size)
               : "a"(value)
               : "memory");
  return start;
}

int memcmp(const void* left, const void* right, std::size_t size) {
  const auto* a = static_cast<const unsigned char*>(left);
  const auto* b = static_cast<const unsigned char*>(right);
  for (std::size_t i = 0; i < size; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

void* memchr(const void* memory, int value, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(memory);
  auto wanted = static_cast<unsigned char>(value);
  for (std::size_t i = 0; i < size; ++i) {
    if (bytes[i] == wanted) return const_cast<unsigned char*>(bytes + i);
  }
  return nullptr;
}

std::size_t strlen(const char* text) {
  std::size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

}  // extern "C"
