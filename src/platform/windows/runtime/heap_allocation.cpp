#include <cstddef>
#include <cstdint>
#include <new>

#include "platform/windows/runtime/immediate_stop.h"
#include "platform/windows/win32.h"

// The program carries no C runtime: every C++ allocation comes from the
// process heap, which already aligns to 16 bytes. A request that cannot be
// met stops the host at once; there is nothing sensible left to do.

namespace {

void* allocate(std::size_t size) {
  void* memory = HeapAlloc(GetProcessHeap(), 0, size);
  if (memory == nullptr) tavorin::stop_without_memory(size);
  return memory;
}

void release(void* memory) {
  if (memory != nullptr) HeapFree(GetProcessHeap(), 0, memory);
}

// Wider alignment than the heap's: over-allocate, and keep the heap's own
// pointer just below the aligned block.
void* allocate_aligned(std::size_t size, std::align_val_t alignment) {
  auto align = static_cast<std::size_t>(alignment);
  if (align <= MEMORY_ALLOCATION_ALIGNMENT) return allocate(size);
  std::size_t extra = align + sizeof(void*);
  if (size > SIZE_MAX - extra) tavorin::stop_without_memory(size);
  void* base = allocate(size + extra);
  auto start = reinterpret_cast<std::uintptr_t>(base) + sizeof(void*);
  auto aligned = (start + align - 1) & ~(std::uintptr_t{align} - 1);
  reinterpret_cast<void**>(aligned)[-1] = base;
  return reinterpret_cast<void*>(aligned);
}

void release_aligned(void* memory, std::align_val_t alignment) {
  if (memory == nullptr) return;
  if (static_cast<std::size_t>(alignment) <= MEMORY_ALLOCATION_ALIGNMENT) {
    release(memory);
    return;
  }
  release(static_cast<void**>(memory)[-1]);
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment) {
  return allocate_aligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return allocate_aligned(size, alignment);
}

void operator delete(void* memory) noexcept { release(memory); }
void operator delete[](void* memory) noexcept { release(memory); }
void operator delete(void* memory, std::size_t) noexcept { release(memory); }
void operator delete[](void* memory, std::size_t) noexcept { release(memory); }
void operator delete(void* memory, std::align_val_t alignment) noexcept {
  release_aligned(memory, alignment);
}
void operator delete[](void* memory, std::align_val_t alignment) noexcept {
  release_aligned(memory, alignment);
}
void operator delete(void* memory, std::size_t,
                     std::align_val_t alignment) noexcept {
  release_aligned(memory, alignment);
}
void operator delete[](void* memory, std::size_t,
                       std::align_val_t alignment) noexcept {
  release_aligned(memory, alignment);
}
