#include "text/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reference_utf8.h"
#include "text/utf8_checker.h"

namespace tavorin {

// The engine's name, in each test's name and in CTest's.
void PrintTo(Utf8Engine engine, std::ostream* out) {
  switch (engine) {
    case Utf8Engine::Avx2: *out << "Avx2"; return;
    case Utf8Engine::Sse: *out << "Sse"; return;
    case Utf8Engine::Scalar: *out << "Scalar"; return;
  }
}

namespace testing {
namespace {

const std::string E_ACUTE = "\xC3\xA9";
const std::string EURO = "\xE2\x82\xAC";
const std::string WRENCH = "\xF0\x9F\x94\xA7";

// Offsets on both sides of the 16-, 32- and 64-byte steps of the engines.
std::vector<std::size_t> offsets_around_blocks() {
  std::vector<std::size_t> offsets;
  for (std::size_t boundary : {0, 16, 32, 48, 64, 128}) {
    for (std::size_t at = boundary < 4 ? 0 : boundary - 4; at <= boundary + 4;
         ++at) {
      offsets.push_back(at);
    }
  }
  return offsets;
}

// Well-formed text of exactly `size` bytes, ASCII or with characters of
// two, three and four bytes every few bytes.
std::string filler(std::size_t size, bool mixed) {
  const std::string pieces[] = {"a", E_ACUTE, "b", EURO, WRENCH, "c"};
  std::string text;
  for (std::size_t i = 0; mixed; ++i) {
    const std::string& piece = pieces[i % std::size(pieces)];
    if (text.size() + piece.size() > size) break;
    text += piece;
  }
  text.resize(size, 'x');
  return text;
}

// Each check runs with every engine this processor has.
class Utf8Validation : public ::testing::TestWithParam<Utf8Engine> {
 protected:
  void SetUp() override {
    if (!utf8_engine_available(GetParam())) {
      GTEST_SKIP() << "this processor lacks the engine";
    }
  }

  void expect_prefix(const std::string& bytes, std::size_t valid,
                     const std::string& what) const {
    EXPECT_EQ(valid_utf8_prefix_with(GetParam(), bytes), valid) << what;
    EXPECT_EQ(is_valid_utf8_with(GetParam(), bytes), valid == bytes.size())
        << what;
  }
};

struct Sequence {
  std::string bytes;
  std::size_t valid;  // the well-formed bytes it starts with
  const char* what;
};

const Sequence SEQUENCES[] = {
    {"\xC0\xAF", 0, "overlong slash"},
    {"\xC1\xBF", 0, "overlong of two bytes"},
    {"\xE0\x80\x80", 0, "overlong NUL of three bytes"},
    {"\xE0\x9F\xBF", 0, "overlong U+07FF"},
    {"\xF0\x80\x80\x80", 0, "overlong NUL of four bytes"},
    {"\xF0\x8F\xBF\xBF", 0, "overlong U+FFFF"},
    {"\xED\xA0\x80", 0, "first surrogate"},
    {"\xED\xBF\xBF", 0, "last surrogate"},
    {"\xF4\x90\x80\x80", 0, "past U+10FFFF"},
    {"\xF4\xA0\x80\x80", 0, "past U+10FFFF, second byte A0"},
    {"\xF4\xBF\xBF\xBF", 0, "past U+10FFFF, second byte BF"},
    {"\xF5\x80\x80\x80", 0, "lead F5"},
    {"\xF8\x88\x80\x80\x80", 0, "lead F8"},
    {"\xFE", 0, "byte FE"},
    {"\xFF", 0, "byte FF"},
    {"\x80", 0, "lone continuation"},
    {"\xBF\xBF", 0, "two lone continuations"},
    {"\xC3\xA9\xA9", 2, "one continuation too many"},
    {"\xF0\x9F\x94\xA7\x80", 4, "a fifth byte"},
    {"\xC3", 0, "cut two-byte character"},
    {"\xE2\x82", 0, "cut three-byte character"},
    {"\xF0\x9F\x94", 0, "cut four-byte character"},
    {"\xE2\x82\xC3\xA9", 0, "cut short by a lead"},
    {"\xC2\x80", 2, "U+0080"},
    {"\xDF\xBF", 2, "U+07FF"},
    {"\xE0\xA0\x80", 3, "U+0800"},
    {"\xED\x9F\xBF", 3, "U+D7FF"},
    {"\xEE\x80\x80", 3, "U+E000"},
    {"\xEF\xBF\xBF", 3, "U+FFFF"},
    {"\xF0\x90\x80\x80", 4, "U+10000"},
    {"\xF4\x8F\xBF\xBF", 4, "U+10FFFF"},
};

TEST_P(Utf8Validation, TrickySequencesAnywhere) {
  for (const Sequence& sequence : SEQUENCES) {
    for (bool mixed : {false, true}) {
      for (std::size_t offset : offsets_around_blocks()) {
        std::string before = filler(offset, mixed);
        // At the very end of the text, then with more text after it.
        for (std::size_t after : {0, 1, 70}) {
          std::string bytes = before + sequence.bytes + filler(after, mixed);
          bool well_formed = sequence.valid == sequence.bytes.size();
          expect_prefix(
              bytes, well_formed ? bytes.size() : offset + sequence.valid,
              std::string(sequence.what) + " at " + std::to_string(offset) +
                  ", " + std::to_string(after) + " bytes after");
        }
      }
    }
  }
}

// Every lead byte with every second byte, held to a decoder written from
// the Unicode table: one wrong entry in an engine's lookup tables shows
// here even where no hand-picked sequence reaches it. The offsets put the
// pair inside a 16-byte lane, across lanes and across 64-byte steps.
TEST_P(Utf8Validation, EveryLeadAndSecondByteAsTheUnicodeTableSays) {
  for (std::size_t offset : {0, 15, 31, 62, 63}) {
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
      for (int second = 0; second <= 0xFF; ++second) {
        std::string bytes = filler(offset, false);
        bytes += static_cast<char>(lead);
        bytes += static_cast<char>(second);
        bytes += "\x80\x80" + filler(70, true);
        expect_prefix(bytes, fuzzing::reference_valid_prefix(bytes),
                      std::to_string(lead) + " " + std::to_string(second) +
                          " at " + std::to_string(offset));
      }
    }
  }
}

TEST_P(Utf8Validation, TextCutAtEveryOffset) {
  std::string text = filler(200, true);
  std::size_t last_boundary = 0;
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    auto byte = static_cast<unsigned char>(cut < text.size() ? text[cut] : 0);
    if ((byte & 0xC0) != 0x80) last_boundary = cut;
    expect_prefix(text.substr(0, cut), last_boundary,
                  "cut at " + std::to_string(cut));
  }
}

TEST_P(Utf8Validation, CharactersStraddlingBlocks) {
  for (const std::string& character : {E_ACUTE, EURO, WRENCH}) {
    for (std::size_t offset = 0; offset <= 130; ++offset) {
      std::string bytes = filler(offset, false) + character + filler(70, true);
      expect_prefix(bytes, bytes.size(),
                    character + " at " + std::to_string(offset));
    }
  }
}

TEST_P(Utf8Validation, LoneContinuationAtEveryOffset) {
  for (bool mixed : {false, true}) {
    std::string text = filler(200, mixed);
    for (std::size_t at = 0; at <= text.size(); ++at) {
      if (at < text.size() &&
          (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
        continue;  // not a character boundary
      }
      std::string bytes = text.substr(0, at) + "\x80" + text.substr(at);
      expect_prefix(bytes, at, "continuation at " + std::to_string(at));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EachEngine, Utf8Validation,
                         ::testing::Values(Utf8Engine::Scalar, Utf8Engine::Sse,
                                           Utf8Engine::Avx2),
                         ::testing::PrintToStringParamName());

// The checker as the message path uses it: lines arriving in pieces in one
// buffer, each line judged when its line feed is in, then dropped.
TEST(Utf8Checker, ACharacterSplitBetweenArrivalsWaitsForItsRest) {
  std::string buffer = "caf" + E_ACUTE + " " + WRENCH + " " + filler(100, true);
  Utf8Checker checker;
  for (std::size_t arrived = 0; arrived <= buffer.size(); ++arrived) {
    checker.check_arrived(std::string_view(buffer).substr(0, arrived));
  }
  EXPECT_TRUE(checker.finish(buffer));
  EXPECT_FALSE(Utf8Checker().finish(buffer.substr(0, 4)));  // half of é
}

TEST(Utf8Checker, JudgesEachLineOnItsOwn) {
  const std::string first = "fine " + EURO;
  const std::string second = "bad \xFF";
  const std::string third = filler(90, true);
  std::string buffer = first + "\n" + second + "\n" + third + "\n";
  Utf8Checker checker;
  checker.check_arrived(buffer);
  EXPECT_TRUE(checker.finish(std::string_view(buffer).substr(0, first.size())));
  // A text that ends inside a character is not well-formed, though the
  // bytes that arrived are.
  EXPECT_FALSE(
      checker.finish(std::string_view(buffer).substr(0, first.size() - 1)));
  buffer.erase(0, first.size() + 1);
  checker.drop_front(first.size() + 1);
  EXPECT_FALSE(
      checker.finish(std::string_view(buffer).substr(0, second.size())));
  buffer.erase(0, second.size() + 1);
  checker.drop_front(second.size() + 1);
  checker.check_arrived(buffer);
  EXPECT_TRUE(checker.finish(std::string_view(buffer).substr(0, third.size())));
}

TEST(Utf8Checker, ADropInsideACharacterLeavesNothingProven) {
  std::string buffer = E_ACUTE + EURO;
  Utf8Checker checker;
  checker.check_arrived(buffer);
  checker.drop_front(1);
  EXPECT_FALSE(checker.finish(std::string_view(buffer).substr(1)));
}

}  // namespace
}  // namespace testing
}  // namespace tavorin
