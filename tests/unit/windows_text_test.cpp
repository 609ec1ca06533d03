#include <gtest/gtest.h>

#include <vector>

#include "platform/windows/message_text.h"
#include "platform/windows/wide_text.h"

namespace tavorin {
namespace {

std::vector<wchar_t> units(std::initializer_list<unsigned> values) {
  return std::vector<wchar_t>(values.begin(), values.end());
}

TEST(SystemMessageText, FailedLookupsHaveFixedTexts) {
  EXPECT_EQ(system_message_text(10060, std::nullopt, 317),
            "OS Error 10060 (FormatMessageW() returned error 317)");
  auto lone = units({'a', 0xD800});
  EXPECT_EQ(system_message_text(-5, std::span<const wchar_t>(lone), 0),
            "OS Error -5 (FormatMessageW() returned invalid UTF-16)");
}

TEST(SystemMessageText, TrailingLineBreakIsDroppedLeadingSpaceKept) {
  auto text = units(
      {' ', 'N', 'o', 0x2019, 's', ' ', '%', '1', '.', '\r', '\n', 0x3000});
  EXPECT_EQ(system_message_text(2, std::span<const wchar_t>(text), 0),
            " No\u2019s %1.");
}

TEST(WideText, PathsKeepUnpairedSurrogatesBothWays) {
  auto path = units({'C', ':', '\\', 0xD83D, 0xDD27, 0xDC00, 0xE9});
  std::string narrow = from_wide_path(path);
  EXPECT_EQ(narrow, "C:\\\xF0\x9F\x94\xA7\xED\xB0\x80\xC3\xA9");
  std::vector<wchar_t> back = to_wide_path(narrow);
  ASSERT_EQ(back.back(), L'\0');
  back.pop_back();
  EXPECT_EQ(back, path);
  EXPECT_EQ(from_wide_strict(path), std::nullopt);
}

TEST(WideText, ConsoleTextConvertsByCharacter) {
  std::vector<wchar_t> out(16);
  std::size_t count = utf8_to_wide("h\xC3\xA9\xF0\x9F\x94\xA7", out);
  out.resize(count);
  EXPECT_EQ(out, units({'h', 0xE9, 0xD83D, 0xDD27}));
}

}  // namespace
}  // namespace tavorin
