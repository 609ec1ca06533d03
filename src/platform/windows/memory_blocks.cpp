#include "platform/windows/windows_platform.h"

namespace tavorin {

// Straight from the process heap, without the immediate stop that the
// program's operator new makes when memory runs out.
void* WindowsPlatform::resize_block(void* block, std::size_t size) {
  if (block == nullptr) return HeapAlloc(GetProcessHeap(), 0, size);
  return HeapReAlloc(GetProcessHeap(), 0, block, size);
}

void WindowsPlatform::free_block(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

}  // namespace tavorin
