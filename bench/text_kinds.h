#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace bench {

// The kinds of text the messages hold. Their bytes differ the most where
// a relay checks its text: how often a character takes more than one byte,
// and how many.
enum class TextKind : std::uint8_t { Ascii, Latin, Cjk, Emoji };

inline constexpr std::size_t KIND_COUNT = 4;
inline constexpr std::array<TextKind, KIND_COUNT> TEXT_KINDS = {
    TextKind::Ascii, TextKind::Latin, TextKind::Cjk, TextKind::Emoji};

constexpr std::size_t index_of(TextKind kind) {
  return static_cast<std::size_t>(kind);
}

// A short name for the tables ("ASCII", "Latin", ...).
const char* kind_name(TextKind kind);

// What the text of that kind is, in a few words.
const char* kind_description(TextKind kind);

// A JSON string of exactly `size` bytes (at least 2), quotes included, of
// well-formed UTF-8 of that kind. The same on every run.
std::string json_text(TextKind kind, std::size_t size);

}  // namespace bench
