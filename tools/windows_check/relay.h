#pragma once

#include <cstddef>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "host_session.h"

namespace tavorin::windows_check {

// What every launch relays both ways: a short message, text outside ASCII,
// and about 900 KB.
std::vector<std::string> launch_messages();

// A JSON message of exactly `size` bytes.
std::string message_of_size(std::size_t size);

// Relays each message through the host to the example app and checks
// that the answer is the app's, byte for byte: each round trip's time in
// milliseconds, or what went wrong.
std::expected<std::vector<double>, std::string> relay(
    HostSession& host, std::span<const std::string> messages);

// "7 B, 32 B, 900,018 B"
std::string sizes_text(std::span<const std::string> messages);

}  // namespace tavorin::windows_check
