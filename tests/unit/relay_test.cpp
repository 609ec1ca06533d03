#include <gtest/gtest.h>

#include "fake_platform.h"
#include "relay/app_channel.h"
#include "relay/browser_channel.h"
#include "relay/relay_loop.h"
#include "text/utf8.h"

namespace tavorin::testing {
namespace {

using Lines = std::vector<std::string>;

TEST(DecodePayload, ReplacesEachMaximalIllFormedSubpart) {
  struct Case {
    std::string in;
    std::string out;
  };
  const std::string R = "\xEF\xBF\xBD";
  const Case cases[] = {
      {"\xFF", R},
      {"\xC3\x28", R + "("},
      {"\xF0\x90\x80\x41", R + "A"},        // truncated 4-byte sequence
      {"ab\xE2\x82", "ab" + R},             // cut off at the end
      {"\xED\xA0\x80", R + R + R},          // a surrogate
      {"\xC0\xAF", R + R},                  // an overlong slash
      {"\xF5\x80", R + R},                  // past U+10FFFF
      {"\xF4\x90\x80\x80", R + R + R + R},  // past U+10FFFF
      {"\x80x", R + "x"},                   // lone continuation
      {"\xF0\x9F\x94\xA7 ok \xC3\xA9", "\xF0\x9F\x94\xA7 ok \xC3\xA9"},
      {"plain ascii that is longer than a word",
       "plain ascii that is longer than a word"},
      // Errors far apart (the well-formed stretches between them are
      // checked a block at a time) and close together.
      {"\xFF" + std::string(100, 'a') + "\xC3(x\x80\x80y\xE2\x82",
       R + std::string(100, 'a') + R + "(x" + R + R + "y" + R},
  };
  for (const Case& c : cases) EXPECT_EQ(decode_payload(c.in), c.out) << c.in;
}

TEST(Trims, UseTheUnicodeWhiteSpaceSet) {
  EXPECT_EQ(trim_response("  {\"a\":1}  \r\n"), "  {\"a\":1}");
  EXPECT_EQ(trim_response("\r\n"), "");
  EXPECT_EQ(
      trim_response(
          "x\u0085\u00A0\u1680\u2000\u200A\u2028\u2029\u202F\u205F\u3000\v\f"),
      "x");
  EXPECT_EQ(trim_response("x\uFEFF"), "x\uFEFF");  // not white space
  EXPECT_EQ(trim_response("x\u200B"), "x\u200B");  // nor is a zero width space
  EXPECT_EQ(trim_for_log("\u3000 \t{} \u00A0\n"), "{}");
}

// A relay session on the fake platform: Chrome's bytes in, the app's answers
// scripted, and everything the host did read back.
struct Session {
  FakePlatform os;
  Status result;

  Lines run() {
    Result<SocketHandle> socket = os.tcp_connect(7878);
    os.accepts = [](std::uint16_t) { return true; };
    socket = os.tcp_connect(7878);
    result = run_proxy(os, Socket(os, *socket));
    EXPECT_TRUE(os.open_sockets.empty()) << "the relay leaked a socket";
    EXPECT_EQ(os.bad_closes, 0);
    return os.log_lines();
  }
};

Lines with_frame(std::initializer_list<const char*> middle,
                 std::int32_t count) {
  Lines lines = {"Setting up communication channels...",
                 "Proxy mode active - ready to relay messages"};
  lines.insert(lines.end(), middle.begin(), middle.end());
  lines.push_back("Proxy loop ended after " + std::to_string(count) +
                  " messages");
  return lines;
}

TEST(RelayLoop, ChromeClosingAtOnceEndsWithNoMessages) {
  Session s;
  EXPECT_EQ(s.run(),
            with_frame({"Chrome disconnected (EOF) after 0 messages"}, 0));
  EXPECT_TRUE(s.result.has_value());
  EXPECT_EQ(s.os.receive_timeouts,
            std::vector<std::chrono::milliseconds>{std::chrono::seconds(5)});
  EXPECT_TRUE(s.os.no_delay_set);
}

TEST(RelayLoop, RelaysMessagesInOrderAndPairsLinesStrictly) {
  Session s;
  s.os.stdin_data = frame("  {\"n\":1}  ") + frame("{\"n\":2}\n");
  s.os.stdin_read_limit = 3;  // frames arrive in small pieces
  // Two lines for the first message: the second answers the next one.
  s.os.app_chunks.emplace_back("{\"r\":1}\n{\"r\"");
  s.os.app_chunks.emplace_back(":2}\r\n");
  Lines lines = s.run();
  EXPECT_EQ(lines, with_frame({"Received message #1 from Chrome",
                               R"(Relaying message to app: {"n":1})",
                               R"(Received response from app: {"r":1})",
                               "Successfully relayed response #1 to Chrome",
                               "Received message #2 from Chrome",
                               R"(Relaying message to app: {"n":2})",
                               R"(Received response from app: {"r":2})",
                               "Successfully relayed response #2 to Chrome",
                               "Chrome disconnected (EOF) after 2 messages"},
                              2));
  // The app gets the untrimmed text; a line feed inside it stays.
  EXPECT_EQ(s.os.sent_to_app, "  {\"n\":1}  \n{\"n\":2}\n\n");
  EXPECT_EQ(frames_in(s.os.stdout_data), (Lines{R"({"r":1})", R"({"r":2})"}));
}

TEST(RelayLoop, PayloadsOfEveryShortLengthArriveWhole) {
  Session s;
  std::string expected;
  for (std::size_t length = 1; length <= 300; ++length) {
    std::string message(length, static_cast<char>('a' + length % 26));
    s.os.stdin_data += frame(message);
    expected += message + "\n";
  }
  s.os.app_answers = [](std::string_view line) {
    return std::string(line) + "\n";
  };
  s.run();
  EXPECT_EQ(s.os.sent_to_app, expected);
  EXPECT_EQ(frames_in(s.os.stdout_data)->size(), 300u);
}

TEST(RelayLoop, LengthLimitsAreInclusive) {
  Session s;
  std::string biggest(MAX_MESSAGE_LENGTH, 'a');
  s.os.stdin_data = frame(biggest) + frame(biggest + "a");
  s.os.app_chunks.emplace_back("\r\n");
  Lines lines = s.run();
  EXPECT_EQ(lines[lines.size() - 3], "Received message #2 from Chrome");
  EXPECT_EQ(lines[lines.size() - 2], "Invalid message length: 1048577 bytes");
  EXPECT_EQ(s.os.sent_to_app.size(), MAX_MESSAGE_LENGTH + 1);
  // An answer of CR LF alone is an empty frame.
  EXPECT_EQ(s.os.stdout_data, std::string(4, '\0'));
}

TEST(RelayLoop, ZeroLengthFrameEndsTheRelay) {
  Session s;
  s.os.stdin_data = frame("1") + frame("2") + frame("") + frame("3");
  s.os.app_chunks.emplace_back("a\nb\n");
  Lines lines = s.run();
  EXPECT_EQ(Lines(lines.end() - 3, lines.end()),
            (Lines{"Received message #3 from Chrome",
                   "Invalid message length: 0 bytes",
                   "Proxy loop ended after 3 messages"}));
}

TEST(RelayLoop, InputEndingInsideAFrame) {
  Session prefix;
  prefix.os.stdin_data = frame("x").substr(0, 2);
  EXPECT_EQ(prefix.run(),
            with_frame({"Chrome disconnected (EOF) after 0 messages"}, 0));

  Session payload;
  payload.os.stdin_data = frame("{\"cut\":true}").substr(0, 8);
  EXPECT_EQ(payload.run(),
            with_frame({"Received message #1 from Chrome",
                        "Error reading message payload: failed to fill whole "
                        "buffer"},
                       1));

  Session broken;
  broken.os.stdin_error = IoError::system(109, ErrorKind::BrokenPipe);
  EXPECT_EQ(broken.run(),
            with_frame({"Chrome disconnected (EOF) after 0 messages"}, 0));

  Session failing;
  failing.os.stdin_error = IoError::system(5, ErrorKind::PermissionDenied);
  failing.os.system_messages[5] = "Access is denied.";
  EXPECT_EQ(failing.run(),
            with_frame({"Error reading from Chrome: Access is denied. (os "
                        "error 5)"},
                       0));
}

TEST(RelayLoop, IllFormedMessageIsRelayedWithReplacements) {
  Session s;
  s.os.stdin_data = frame("\"\xFF\"");
  s.os.app_chunks.emplace_back("{}\n");
  s.run();
  EXPECT_EQ(s.os.sent_to_app, "\"\xEF\xBF\xBD\"\n");
}

TEST(RelayLoop, AppFailuresEndTheLoopWithTheirOwnLine) {
  struct Case {
    std::deque<Result<std::string>> chunks;
    const char* line;
  };
  const IoError timed_out = IoError::system(10060, ErrorKind::TimedOut);
  const Case cases[] = {
      {{}, "App disconnected (no response)"},
      {{std::unexpected(timed_out)},
       "Error reading from app: A connection attempt failed. (os error 10060)"},
      // A line partly received when the timeout strikes is dropped.
      {{std::string("{\"par"), std::unexpected(timed_out)},
       "Error reading from app: A connection attempt failed. (os error 10060)"},
      {{std::string("\xC3\x28\n")},
       "Error reading from app: stream did not contain valid UTF-8"},
  };
  for (const Case& c : cases) {
    Session s;
    s.os.stdin_data = frame("{}");
    s.os.app_chunks = c.chunks;
    Lines lines = s.run();
    EXPECT_EQ(lines[lines.size() - 2], c.line);
    EXPECT_EQ(lines.back(), "Proxy loop ended after 1 messages");
    EXPECT_TRUE(s.os.stdout_data.empty())
        << "an unanswered message got a frame";
    EXPECT_TRUE(s.result.has_value());
  }
}

TEST(RelayLoop, AnswerWithoutLineFeedBeforeCloseIsAnAnswer) {
  Session s;
  s.os.stdin_data = frame("{}") + frame("{}");
  s.os.app_chunks.emplace_back(std::string(20000, 'z'));
  Lines lines = s.run();
  EXPECT_EQ(frames_in(s.os.stdout_data), Lines{std::string(20000, 'z')});
  EXPECT_EQ(lines[lines.size() - 2], "App disconnected (no response)");
  EXPECT_EQ(lines.back(), "Proxy loop ended after 2 messages");
}

TEST(RelayLoop, SendFailuresNameTheStepThatFailed) {
  const IoError reset = IoError::system(10054, ErrorKind::ConnectionReset);
  Session text;
  text.os.system_messages[10054] = "reset";
  text.os.stdin_data = frame("{}");
  text.os.send_script = {std::unexpected(reset)};
  EXPECT_EQ(text.run()[4], "Error writing to app: reset (os error 10054)");

  Session newline;
  newline.os.system_messages[10054] = "reset";
  newline.os.stdin_data = frame("{}");
  newline.os.send_script = {1, 1, std::unexpected(reset)};
  EXPECT_EQ(newline.run()[4], "Error writing newline: reset (os error 10054)");

  Session zero;
  zero.os.stdin_data = frame("{}");
  zero.os.send_script = {0};
  EXPECT_EQ(zero.run()[4],
            "Error writing to app: failed to write whole buffer");
}

TEST(RelayLoop, WriteFailuresToChromeNameTheStep) {
  const IoError gone = IoError::system(232, ErrorKind::BrokenPipe);
  struct Case {
    std::string answer;
    std::deque<Result<std::size_t>> script;
    const char* line;
  };
  const Case cases[] = {
      // Small frames leave the host at the flush.
      {"{}\n",
       {std::unexpected(gone)},
       "Error flushing to Chrome: gone (os error 232)"},
      // A frame larger than the writer's buffer goes out with its bytes.
      {std::string(3000, 'b') + "\n",
       {std::unexpected(gone)},
       "Error writing response to Chrome: gone (os error 232)"},
      // A length prefix holding a line feed (10 bytes) goes out at once.
      {"0123456789\n",
       {std::unexpected(gone)},
       "Error writing length to Chrome: gone (os error 232)"},
      {"{}\n", {0}, "Error flushing to Chrome: failed to write whole buffer"},
  };
  for (const Case& c : cases) {
    Session s;
    s.os.system_messages[232] = "gone";
    s.os.stdin_data = frame("{}") + frame("{}");
    s.os.app_chunks.emplace_back(c.answer);
    s.os.stdout_script = c.script;
    Lines lines = s.run();
    EXPECT_EQ(lines[lines.size() - 2], c.line);
    EXPECT_EQ(lines.back(), "Proxy loop ended after 1 messages");
  }
}

TEST(RelayLoop, PreparationFailuresAreReturned) {
  Session timeout;
  timeout.os.timeout_error = IoError::system(10022, ErrorKind::Uncategorized);
  timeout.run();
  ASSERT_FALSE(timeout.result.has_value());
  EXPECT_EQ(timeout.result.error().code(), 10022);
  EXPECT_FALSE(timeout.os.stdin_touched);

  Session duplicate;
  duplicate.os.duplicate_error =
      IoError::system(10093, ErrorKind::Uncategorized);
  EXPECT_EQ(duplicate.run(), Lines{"Setting up communication channels..."});
  EXPECT_FALSE(duplicate.result.has_value());
}

}  // namespace
}  // namespace tavorin::testing
