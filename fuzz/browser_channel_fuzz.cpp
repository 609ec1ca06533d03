#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "reference_utf8.h"
#include "relay/browser_channel.h"
#include "relay_session.h"

namespace {

using tavorin::testing::FakePlatform;

// What Chrome's bytes must amount to: the payloads of the whole, valid
// frames, up to the first frame that is neither.
std::vector<std::string> whole_messages(std::string_view input) {
  std::vector<std::string> messages;
  while (input.size() >= 4) {
    std::uint32_t length = 0;
    for (int i = 3; i >= 0; --i) {
      length = (length << 8) |
               static_cast<std::uint8_t>(input[static_cast<std::size_t>(i)]);
    }
    if (length == 0 || length > tavorin::MAX_MESSAGE_LENGTH) break;
    if (input.size() - 4 < length) break;
    messages.emplace_back(input.substr(4, length));
    input.remove_prefix(4 + length);
  }
  return messages;
}

}  // namespace

// Arbitrary bytes from Chrome, arriving in pieces of arbitrary size, through
// the whole relay with an app that numbers its answers: every message must
// reach the app decoded and whole, and every answer must come back once, in
// order, as the only bytes on standard output.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  FakePlatform os;
  os.stdin_read_limit = data[0] == 0 ? SIZE_MAX : data[0];
  os.stdin_data.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
  int answered = 0;
  os.app_answers = [&answered](std::string_view) {
    return "r" + std::to_string(++answered) + " \r\n";
  };
  if (!tavorin::testing::run_relay_session(os)) std::abort();

  std::vector<std::string> messages = whole_messages(os.stdin_data);
  std::string expected_sent;
  std::vector<std::string> expected_frames;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    expected_sent += tavorin::fuzzing::reference_decode(messages[i]) + "\n";
    expected_frames.push_back("r" + std::to_string(i + 1));
  }
  if (os.sent_to_app != expected_sent) std::abort();
  if (tavorin::testing::frames_in(os.stdout_data) != expected_frames) {
    std::abort();
  }
  if (!os.open_sockets.empty() || os.bad_closes != 0) std::abort();
  return 0;
}
