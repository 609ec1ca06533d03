#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tavorin {

class Platform;

// Where the desktop app says which port it listens on.
inline constexpr std::string_view PORT_FILE = "tavorin_port.txt";

// A port needs a few bytes: a port file any larger (or one that is a FIFO
// or a device) is not the app's, and is never read without bound.
inline constexpr std::size_t MAX_PORT_FILE_SIZE = 4096;

// The desktop app's port from tavorin_port.txt, logged when usable. Every
// problem (no file, not UTF-8, not a port) silently gives nothing.
std::optional<std::uint16_t> read_port_file(Platform& os);

// The port file's rule: after trimming white space, an optional "+" and one
// or more ASCII digits, leading zeros allowed, at most 65535.
std::optional<std::uint16_t> parse_port(std::string_view text);

}  // namespace tavorin
