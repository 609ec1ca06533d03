#include "relay.h"

#include "example_app.h"

namespace tavorin::windows_check {

namespace {

// Generous: a 1 MiB message logged to a console can take a while.
constexpr DWORD ROUND_TRIP_MS = 60000;
constexpr std::size_t BIG_LETTERS = 450000;

std::string with_thousands(std::size_t number) {
  std::string digits = std::to_string(number);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

}  // namespace

std::vector<std::string> launch_messages() {
  std::string big = "{\"big\":\"";
  for (std::size_t i = 0; i < BIG_LETTERS; ++i) big += "\xC3\xA9";  // é
  big += "\"}";
  return {"{\"n\":1}",
          "{\"text\":\"Gr\xC3\xBC\xC3\x9F"
          "e, \xE4\xB8\x96\xE7\x95\x8C \xF0\x9F\x94\xA7\"}",
          big};
}

std::string message_of_size(std::size_t size) {
  constexpr std::size_t FRAME = 8;  // {"s":""}
  return "{\"s\":\"" + std::string(size - FRAME, 'a') + "\"}";
}

std::expected<std::vector<double>, std::string> relay(
    HostSession& host, std::span<const std::string> messages) {
  std::vector<double> times;
  for (const std::string& message : messages) {
    Stopwatch clock;
    auto answer = host.round_trip(message, ROUND_TRIP_MS);
    if (!answer) return std::unexpected(answer.error());
    times.push_back(clock.elapsed_ms());
    if (*answer != ExampleApp::answer_to(message)) {
      return std::unexpected("the answer to the message of " +
                             with_thousands(message.size()) +
                             " bytes differs from the app's (" +
                             with_thousands(answer->size()) + " bytes)");
    }
  }
  return times;
}

std::string sizes_text(std::span<const std::string> messages) {
  std::string text;
  for (const std::string& message : messages) {
    text += (text.empty() ? "" : ", ") + with_thousands(message.size()) + " B";
  }
  return text;
}

}  // namespace tavorin::windows_check
