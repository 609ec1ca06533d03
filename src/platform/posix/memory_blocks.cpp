#include <cstdlib>

#include "platform/posix/posix_platform.h"

namespace tavorin {

void* PosixPlatform::resize_block(void* block, std::size_t size) {
  return std::realloc(block, size);
}

void PosixPlatform::free_block(void* block) { std::free(block); }

}  // namespace tavorin
