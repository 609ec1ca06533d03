// Text that arrives in pieces, checked piece by piece as the message path
// does, must get the same verdict as the reference decoder gives the text
// as a whole: wherever the pieces are cut, wherever the text ends, and
// after the buffer's start moves on.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "reference_utf8.h"
#include "text/utf8_checker.h"

namespace {

bool well_formed(std::string_view bytes) {
  return tavorin::fuzzing::reference_valid_prefix(bytes) == bytes.size();
}

void expect_verdict(tavorin::Utf8Checker& checker, std::string_view bytes) {
  if (checker.finish(bytes) != well_formed(bytes)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  FuzzedDataProvider input(data, size);
  std::vector<std::size_t> cuts(
      input.ConsumeIntegralInRange<std::size_t>(0, 8));
  for (std::size_t& cut : cuts) cut = input.ConsumeIntegral<std::uint16_t>();
  std::size_t text_end = input.ConsumeIntegral<std::uint16_t>();
  std::size_t dropped = input.ConsumeIntegral<std::uint16_t>();
  const std::string text = input.ConsumeRemainingBytesAsString();
  std::string_view all(text);
  for (std::size_t& cut : cuts) cut %= all.size() + 1;
  std::sort(cuts.begin(), cuts.end());
  text_end %= all.size() + 1;
  dropped %= all.size() + 1;

  tavorin::Utf8Checker checker;
  for (std::size_t cut : cuts) checker.check_arrived(all.substr(0, cut));
  // A text that ends somewhere in what arrived, then the whole.
  expect_verdict(checker, all.substr(0, text_end));
  checker.check_arrived(all);
  expect_verdict(checker, all);

  // The buffer's start moves on; the rest arrives at the same cuts.
  checker.drop_front(dropped);
  std::string_view rest = all.substr(dropped);
  for (std::size_t cut : cuts) {
    if (cut > dropped) checker.check_arrived(rest.substr(0, cut - dropped));
  }
  expect_verdict(checker, rest);
  return 0;
}
