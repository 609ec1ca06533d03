#pragma once

#include <cstddef>
#include <string_view>

// The engines behind valid_utf8_prefix. Each returns the exact length of
// the longest well-formed prefix; the vector engines are fast wherever the
// text is well-formed and hand over to the scalar one near the first error.
namespace tavorin::utf8 {

std::size_t scalar_valid_prefix(std::string_view bytes);
std::size_t sse_valid_prefix(std::string_view bytes);
std::size_t avx2_valid_prefix(std::string_view bytes);

// The bytes a vector engine checks in one step.
inline constexpr std::size_t BLOCK_SIZE = 64;

// The exact prefix once a vector engine has found an error in the block at
// `block`, everything before which it found well-formed apart from a
// character the block was to finish.
std::size_t prefix_from_failed_block(std::string_view bytes, std::size_t block);

}  // namespace tavorin::utf8
