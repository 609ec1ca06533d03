#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "oracles.h"
#include "relay_session.h"

namespace {

using tavorin::testing::FakePlatform;

// The app's bytes as the answer lines the host must take, in order: each up
// to and including a line feed, and a last one cut off by the close.
std::vector<std::string_view> answer_lines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  while (!bytes.empty()) {
    std::size_t end = bytes.find('\n');
    std::size_t take = end == std::string_view::npos ? bytes.size() : end + 1;
    lines.push_back(bytes.substr(0, take));
    bytes.remove_prefix(take);
  }
  return lines;
}

std::vector<std::string> expected_frames(std::string_view bytes,
                                         std::size_t messages) {
  std::vector<std::string> frames;
  for (std::string_view line : answer_lines(bytes)) {
    if (frames.size() == messages ||
        !tavorin::fuzzing::reference_is_valid(line)) {
      break;
    }
    frames.emplace_back(tavorin::fuzzing::reference_trim_end(line));
  }
  return frames;
}

}  // namespace

// Arbitrary answers from the app, cut at arbitrary receive boundaries: the
// host must pair lines with messages strictly in order and pass each on
// exactly, whatever the receives look like.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 2) return 0;
  const std::size_t messages = 1 + data[0] % 8;
  std::uint32_t seed = data[1] | 1u;
  std::string_view answers(reinterpret_cast<const char*>(data) + 2, size - 2);

  FakePlatform os;
  for (std::size_t i = 0; i < messages; ++i) {
    os.stdin_data += tavorin::testing::frame("{}");
  }
  for (std::string_view rest = answers; !rest.empty();) {
    seed = seed * 1103515245u + 12345u;
    std::size_t cut = 1 + (seed >> 16) % 64;
    cut = std::min(cut, rest.size());
    os.app_chunks.emplace_back(std::string(rest.substr(0, cut)));
    rest.remove_prefix(cut);
  }
  if (!tavorin::testing::run_relay_session(os)) std::abort();

  if (tavorin::testing::frames_in(os.stdout_data) !=
      expected_frames(answers, messages)) {
    std::abort();
  }
  if (!os.open_sockets.empty() || os.bad_closes != 0) std::abort();
  return 0;
}
