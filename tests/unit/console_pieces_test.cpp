#include "platform/console_pieces.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavorin {
namespace {

// A console as a test scripts it: it may refuse calls larger than some
// size, take at most some units per call, or refuse everything; it keeps
// what it took and the size of every call.
template <typename Unit>
struct ScriptedConsole {
  std::size_t refuses_over = SIZE_MAX;
  std::size_t takes_at_most = SIZE_MAX;
  bool refuses_all = false;
  std::basic_string<Unit> shown;
  std::vector<std::size_t> calls;

  Result<std::size_t> operator()(std::span<const Unit> units) {
    calls.push_back(units.size());
    if (refuses_all || units.size() > refuses_over) {
      return std::unexpected(IoError::system(8, ErrorKind::OutOfMemory));
    }
    std::size_t taken = std::min(units.size(), takes_at_most);
    shown.append(units.data(), taken);
    return taken;
  }
};

// "x" then surrogate pairs, so that every even piece boundary would cut a
// character in two.
std::u16string pairs_after_one_unit(std::size_t pairs) {
  std::u16string text = u"x";
  for (std::size_t i = 0; i < pairs; ++i) text += u"\U0001F527";
  return text;
}

std::string utf8_after_one_byte(std::size_t characters) {
  std::string text = "x";
  for (std::size_t i = 0; i < characters; ++i) text += "\xF0\x9F\x94\xA7";
  return text;
}

template <typename Unit>
void expect_whole_pieces(const ScriptedConsole<Unit>& console,
                         const std::basic_string<Unit>& text) {
  constexpr std::size_t limit = CONSOLE_PIECE_BYTES / sizeof(Unit);
  std::size_t at = 0;
  for (std::size_t i = 1; i < console.calls.size(); ++i) {
    std::size_t call = console.calls[i];
    EXPECT_LE(call, limit);
    at += call;
    if (at < text.size()) {
      EXPECT_FALSE(continues_character(text[at])) << at;
    }
  }
}

// The whole text once, refused as too large, then all of it in pieces.
template <typename Unit>
void expect_shown_in_pieces_after_a_refusal(
    const std::basic_string<Unit>& text) {
  ScriptedConsole<Unit> console;
  console.refuses_over = 4096;
  ASSERT_TRUE(
      write_all_to_console(std::span<const Unit>(text), std::ref(console)));
  EXPECT_EQ(console.shown, text);
  EXPECT_EQ(console.calls.front(), text.size());
  expect_whole_pieces(console, text);
}

TEST(ConsolePieces, ALargeWriteRefusedGoesAgainInWholeCharacterPieces) {
  expect_shown_in_pieces_after_a_refusal(pairs_after_one_unit(10'000));
  expect_shown_in_pieces_after_a_refusal(utf8_after_one_byte(5'000));
}

TEST(ConsolePieces, AShortCountIsCompletedNotDropped) {
  const std::u16string wide = pairs_after_one_unit(3'000);
  ScriptedConsole<char16_t> console;
  console.takes_at_most = 1'000;
  ASSERT_TRUE(
      write_all_to_console(std::span<const char16_t>(wide), std::ref(console)));
  EXPECT_EQ(console.shown, wide);
  EXPECT_EQ(console.calls.size(), 7u);
}

TEST(ConsolePieces, OnlyAFailedPieceOrASmallWriteFails) {
  const std::u16string large = pairs_after_one_unit(3'000);
  ScriptedConsole<char16_t> refusing;
  refusing.refuses_all = true;
  Status written = write_all_to_console(std::span<const char16_t>(large),
                                        std::ref(refusing));
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().kind(), ErrorKind::OutOfMemory);
  EXPECT_EQ(refusing.calls, (std::vector<std::size_t>{large.size(), 2047}));

  const std::u16string small = u"short line\n";
  ScriptedConsole<char16_t> refusing_small;
  refusing_small.refuses_all = true;
  EXPECT_FALSE(write_all_to_console(std::span<const char16_t>(small),
                                    std::ref(refusing_small)));
  EXPECT_EQ(refusing_small.calls.size(), 1u);

  ScriptedConsole<char16_t> taking_nothing;
  taking_nothing.takes_at_most = 0;
  written = write_all_to_console(std::span<const char16_t>(small),
                                 std::ref(taking_nothing));
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().message(), WRITE_ZERO_ERROR.message());
}

}  // namespace
}  // namespace tavorin
