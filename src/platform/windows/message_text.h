#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tavorin {

// The system message as the log shows it, from what FormatMessageW gave:
// its units (nothing when the lookup failed, with the lookup's own error
// code), converted to UTF-8 and without the trailing line break. Portable,
// so the fixed texts for a failed lookup are held by the unit tests.
std::string system_message_text(std::int32_t id,
                                std::optional<std::span<const wchar_t>> units,
                                std::int32_t lookup_error);

}  // namespace tavorin
