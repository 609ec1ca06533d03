#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "text/quoted_path.h"
#include "text/utf8_encode.h"
#include "text/white_space.h"

namespace tavorin {
namespace {

// The Unicode White_Space property, written out here rather than taken
// from the code under test.
constexpr std::array<char32_t, 25> WHITE_SPACE = {
    0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x0085, 0x00A0, 0x1680,
    0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008,
    0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};

// Characters that look blank and are not white space.
constexpr std::array<char32_t, 6> LOOKALIKES = {0x180E, 0x200B, 0x200D,
                                                0x2060, 0xFEFF, 0x00AD};

std::string utf8(char32_t c) {
  std::string out;
  append_utf8(out, c);
  return out;
}

// Pieces joined by appending: g++ 12 warns wrongly about overlapping copies
// in chains of operator+ on strings.
std::string join(std::initializer_list<std::string_view> pieces) {
  std::string out;
  for (std::string_view piece : pieces) out += piece;
  return out;
}

TEST(WhiteSpace, EveryWhiteSpaceCharacterGoesAtEitherEnd) {
  for (char32_t c : WHITE_SPACE) {
    const std::string space = utf8(c);
    const auto code = static_cast<std::uint32_t>(c);
    EXPECT_EQ(trim_end(join({"x", space, space})), "x") << std::hex << code;
    EXPECT_EQ(trim_start(join({space, "x"})), "x") << std::hex << code;
    EXPECT_EQ(trim(join({space, "x", space})), "x") << std::hex << code;
    // Inside the text it stays.
    const std::string inside = join({"x", space, "y"});
    EXPECT_EQ(trim(inside), inside) << std::hex << code;
  }
}

TEST(WhiteSpace, LookalikesStay) {
  for (char32_t c : LOOKALIKES) {
    const std::string text = join({utf8(c), "x", utf8(c)});
    EXPECT_EQ(trim(text), text) << std::hex << static_cast<std::uint32_t>(c);
  }
}

TEST(QuotedPath, EscapesWhatWouldMisleadAReader) {
  EXPECT_EQ(quoted_form(R"(C:\Temp\a.lock)"), R"("C:\\Temp\\a.lock")");
  EXPECT_EQ(quoted_form("say \"hi\""), R"("say \"hi\"")");
  EXPECT_EQ(quoted_form(std::string("\t\n\r\0", 4)), R"("\t\n\r\0")");
  EXPECT_EQ(quoted_form("a\x1b"
                        "b\x7f"),
            R"("a\u{1b}b\u{7f}")");
  EXPECT_EQ(quoted_form("e\xCC\x81"), R"("e\u{301}")");  // combining acute
  EXPECT_EQ(quoted_form("x\xED\xA0\x80y"),
            R"("x\u{d800}y")");  // lone surrogate
  EXPECT_EQ(quoted_form("O'Brien"), R"("O'Brien")");
  EXPECT_EQ(quoted_form("Zoë 日本"), "\"Zoë 日本\"");
}

// Characters that reorder or hide the text around them: a path holding one
// could show a reader another name than the one looked for.
TEST(QuotedPath, InvisibleAndReorderingCharactersAreEscaped) {
  const std::pair<char32_t, const char*> cases[] = {
      {0x202E, R"(\u{202e})"}, {0x2066, R"(\u{2066})"},
      {0x200E, R"(\u{200e})"}, {0x061C, R"(\u{61c})"},
      {0xFEFF, R"(\u{feff})"}, {0xE0001, R"(\u{e0001})"},
      {0x2028, R"(\u{2028})"}, {0x200B, R"(\u{200b})"},
  };
  for (const auto& [c, escaped] : cases) {
    EXPECT_EQ(quoted_form(join({"a", utf8(c), "b"})),
              join({"\"a", escaped, "b\""}))
        << std::hex << static_cast<std::uint32_t>(c);
  }
}

}  // namespace
}  // namespace tavorin
