#pragma once

#include <string_view>

namespace bench {

// The app's answer wraps the line it got: {"echo":<line>}.
inline constexpr std::string_view ECHO_OPENING = "{\"echo\":";
inline constexpr std::string_view ECHO_CLOSING = "}";

// Answers each line read from the connection until the peer closes it.
void answer_lines(int connection);

}  // namespace bench
