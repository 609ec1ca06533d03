#include "send.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

#include "console.h"
#include "doctor.h"
#include "host_session.h"
#include "input_text.h"
#include "json.h"

namespace tavorin::doctor {

namespace {

using std::chrono::seconds;

// The host tries the app for about 4 seconds, then waits up to 5 seconds
// between arrivals of an answer: an answer later than this never comes.
constexpr seconds ANSWER_LIMIT{15};
constexpr seconds END_LIMIT{10};
// What a browser sends a host at most.
constexpr std::size_t LARGEST_MESSAGE = 1024 * 1024;

std::expected<std::vector<std::string>, std::string> messages_to_send(
    const std::string& given) {
  std::vector<std::string> messages;
  if (given != "-") {
    messages.push_back(given);
  } else {
    std::string input = read_standard_input();
    // PowerShell puts one before what it pipes when told to write UTF-8.
    if (input.starts_with(native_messaging::BYTE_ORDER_MARK)) {
      input.erase(0, native_messaging::BYTE_ORDER_MARK.size());
    }
    for (std::size_t start = 0; start < input.size();) {
      std::size_t end = std::min(input.find('\n', start), input.size());
      std::string line = input.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) messages.push_back(std::move(line));
      start = end + 1;
    }
  }
  if (messages.empty()) return std::unexpected("no message to send");
  // A browser sends the extension's message serialized as JSON, never more
  // than 1 MiB: anything else would test what no browser does.
  for (std::size_t i = 0; i < messages.size(); ++i) {
    std::string which = "message " + std::to_string(i + 1);
    if (messages[i].size() > LARGEST_MESSAGE) {
      return std::unexpected(which + " is longer than a browser sends (" +
                             std::to_string(LARGEST_MESSAGE) + " bytes)");
    }
    if (auto json = native_messaging::parse_json(messages[i]); !json) {
      return std::unexpected(which + " is not JSON (" + json.error().reason +
                             " at byte " + std::to_string(json.error().offset) +
                             "): a browser sends JSON only");
    }
  }
  return messages;
}

std::string frame(std::string_view message) {
  auto size = static_cast<std::uint32_t>(message.size());
  std::string bytes;
  for (int shift = 0; shift < 32; shift += 8) {
    bytes += static_cast<char>((size >> shift) & 0xFF);
  }
  return bytes += message;
}

// The answer frame's text, or why there is none.
std::expected<std::string, std::string> answer_from(HostSession& host) {
  std::string header = host.read(4, ANSWER_LIMIT);
  if (header.size() < 4) {
    return std::unexpected(header.empty()
                               ? "no answer: the host ended its output or "
                                 "sent nothing for " +
                                     std::to_string(ANSWER_LIMIT.count()) + " s"
                               : "the host's output ended inside a frame");
  }
  std::uint32_t size = 0;
  for (int i = 3; i >= 0; --i) {
    size = size << 8 | static_cast<unsigned char>(header[i]);
  }
  std::string text = host.read(size, ANSWER_LIMIT);
  if (text.size() < size) {
    return std::unexpected("the host's output ended inside a frame");
  }
  return text;
}

// Each message in turn, each answer printed as it comes; the first failure
// ends the conversation.
std::string converse(HostSession& host,
                     const std::vector<std::string>& messages,
                     std::size_t& answered) {
  for (const std::string& message : messages) {
    std::string which = "message " + std::to_string(answered + 1);
    if (!host.write(frame(message))) {
      return which + " could not be sent: the host no longer reads";
    }
    auto answer = answer_from(host);
    if (!answer) return which + ": " + answer.error();
    write_output(*answer + "\n");
    ++answered;
  }
  return {};
}

void show_log(const HostRun& run) {
  write_error("--- the host's log ---\n" + run.log);
  if (!run.log.empty() && run.log.back() != '\n') write_error("\n");
  write_error("--- the host ended: " + run.ending + " ---\n");
}

}  // namespace

int send_messages(Platform& os, const Options& options) {
  auto messages = messages_to_send(*options.send);
  if (!messages) {
    write_error("tavorin_doctor: " + messages.error() + "\n");
    return 1;
  }
  std::optional<RegisteredHost> found =
      find_registered_host(os, options.browsers);
  if (!found) {
    write_error(
        "tavorin_doctor: no browser has a valid registration of the host "
        "com.tavorin.desktop, so there is no host to send through: run "
        "tavorin_doctor (without --send) to see why\n");
    return 1;
  }
  auto host = HostSession::start(found->host);
  if (!host) {
    write_error("tavorin_doctor: the host could not be started as " +
                std::string(found->browser->title) +
                " starts it: " + host.error() + "\n");
    return 1;
  }
  write_error("tavorin_doctor: sending through the host as " +
              std::string(found->browser->title) +
              " starts it: " + launch_command(found->host) + "\n");
  std::size_t answered = 0;
  std::string failure = converse(**host, *messages, answered);
  HostRun run = (*host)->finish(END_LIMIT);
  show_log(run);
  if (!failure.empty()) {
    write_error("tavorin_doctor: " + failure + " (" + std::to_string(answered) +
                " of " + std::to_string(messages->size()) +
                " messages answered)\n");
    return 1;
  }
  write_error("tavorin_doctor: " + std::to_string(answered) + " of " +
              std::to_string(messages->size()) + " messages answered\n");
  return 0;
}

}  // namespace tavorin::doctor
