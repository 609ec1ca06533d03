#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavorin {

// Windows names files in UTF-16 that need not be well formed, while the host
// handles UTF-8. Paths cross over in generalized UTF-8 (WTF-8), where an
// unpaired surrogate is kept as its own three-byte sequence, so that every
// name the system gives can be shown and handed back unchanged.

// The UTF-16 form of a generalized UTF-8 path, ending in a null unit. Bytes
// that form no character become U+FFFD.
std::vector<wchar_t> to_wide_path(std::string_view path);

// The generalized UTF-8 form of UTF-16 text; nothing is lost.
std::string from_wide_path(std::span<const wchar_t> units);

// The UTF-8 form of UTF-16 text, or nothing when an unpaired surrogate
// makes it ill formed.
std::optional<std::string> from_wide_strict(std::span<const wchar_t> units);

// Writes the UTF-16 form of well-formed UTF-8 text into `out`, which must
// hold at least `text.size()` units, and returns the count of units.
std::size_t utf8_to_wide(std::string_view text, std::span<wchar_t> out);

}  // namespace tavorin
