#include <gtest/gtest.h>

#include <algorithm>

#include "fake_platform.h"
#include "relay/answer_buffer.h"
#include "relay/app_channel.h"
#include "relay/browser_channel.h"
#include "relay/relay_loop.h"
#include "relay_session.h"
#include "text/utf8.h"

namespace tavorin::testing {
namespace {

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
      {"\xF4\xBF\xBF\xBF", R + R + R + R},  // past U+10FFFF
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

// A relay session on the fake platform: Chrome's bytes in, the app's answers
// scripted, and everything the host did read back.
struct Session {
  FakePlatform os;
  Status result;

  Lines run() {
    result = run_relay_session(os);
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
  s.os.stdin_data = frame("\u3000 {\"n\":1} \u00A0") + frame("{\"n\":2}\n");
  s.os.stdin_read_limit = 3;  // frames arrive in small pieces
  // Two lines for the first message: the second answers the next one.
  s.os.app_chunks.emplace_back("  {\"r\":1}\u3000\t\n{\"r\"");
  s.os.app_chunks.emplace_back(":2}\r\n");
  Lines lines = s.run();
  EXPECT_EQ(lines, with_frame({"Received message #1 from Chrome",
                               R"(Relaying message to app: {"n":1})",
                               R"(Received response from app:   {"r":1})",
                               "Successfully relayed response #1 to Chrome",
                               "Received message #2 from Chrome",
                               R"(Relaying message to app: {"n":2})",
                               R"(Received response from app: {"r":2})",
                               "Successfully relayed response #2 to Chrome",
                               "Chrome disconnected (EOF) after 2 messages"},
                              2));
  // The app gets the untrimmed text, a line feed inside it too; the browser
  // gets the answer with its leading blanks, only its end trimmed.
  EXPECT_EQ(s.os.sent_to_app, "\u3000 {\"n\":1} \u00A0\n{\"n\":2}\n\n");
  EXPECT_EQ(frames_in(s.os.stdout_data), (Lines{R"(  {"r":1})", R"({"r":2})"}));
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
  std::optional<Lines> answers = frames_in(s.os.stdout_data);
  ASSERT_TRUE(answers.has_value()) << "stray bytes on standard output";
  EXPECT_EQ(answers->size(), 300u);
}

TEST(RelayLoop, LengthLimitsAreInclusive) {
  Session s;
  std::string biggest(MAX_MESSAGE_LENGTH, 'a');
  s.os.stdin_data = frame(biggest) + frame(biggest + "a");
  s.os.app_chunks.emplace_back("\r\n");
  Lines lines = s.run();
  EXPECT_EQ(last_lines(lines, 3),
            (Lines{"Received message #2 from Chrome",
                   "Invalid message length: 1048577 bytes",
                   "Proxy loop ended after 2 messages"}));
  EXPECT_EQ(s.os.sent_to_app.size(), MAX_MESSAGE_LENGTH + 1);
  // An answer of CR LF alone is an empty frame.
  EXPECT_EQ(s.os.stdout_data, std::string(4, '\0'));
}

TEST(RelayLoop, ZeroLengthFrameEndsTheRelay) {
  Session s;
  s.os.stdin_data = frame("1") + frame("2") + frame("") + frame("3");
  s.os.app_chunks.emplace_back("a\nb\n");
  Lines lines = s.run();
  EXPECT_EQ(last_lines(lines, 3), (Lines{"Received message #3 from Chrome",
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

// The message is long enough for the vector check to judge the bytes past
// U+10FFFF itself, before any repair starts.
TEST(RelayLoop, IllFormedMessageIsRelayedWithReplacements) {
  const std::string R = "\xEF\xBF\xBD";
  const std::string text(70, 't');
  Session s;
  s.os.stdin_data = frame(text + "\xF4\xA0\x80\x80" + text + "\xFF");
  s.os.app_chunks.emplace_back("{}\n");
  s.run();
  EXPECT_EQ(s.os.sent_to_app, text + R + R + R + R + text + R + "\n");
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
    EXPECT_EQ(last_lines(s.run(), 2),
              (Lines{c.line, "Proxy loop ended after 1 messages"}));
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
  EXPECT_EQ(last_lines(lines, 2), (Lines{"App disconnected (no response)",
                                         "Proxy loop ended after 2 messages"}));
}

// An app that never ends its line: the reader stops where no frame could
// carry the answer, without holding the answer itself.
TEST(RelayLoop, AnswerTooLongForAFrameEndsTheLoop) {
  Session s;
  s.os.stdin_data = frame("{}");
  s.os.phantom_answer_bytes = MAX_ANSWER_LINE + 4096;
  EXPECT_EQ(last_lines(s.run(), 2),
            (Lines{"Error reading from app: answer of 4 GiB or more, too long "
                   "for a frame",
                   "Proxy loop ended after 1 messages"}));
  EXPECT_TRUE(s.os.stdout_data.empty());
  EXPECT_TRUE(s.result.has_value());
}

TEST(RelayLoop, AnswerThatOutgrowsMemoryEndsTheLoopNormally) {
  Session s;
  s.os.stdin_data = frame("{}");
  s.os.block_limit = 4 * AnswerBuffer::USUAL_CAPACITY;
  s.os.app_chunks.emplace_back(
      std::string(5 * AnswerBuffer::USUAL_CAPACITY, 'a'));
  EXPECT_EQ(last_lines(s.run(), 2),
            (Lines{"Error reading from app: out of memory",
                   "Proxy loop ended after 1 messages"}));
  EXPECT_TRUE(s.result.has_value());
  EXPECT_TRUE(s.os.live_blocks.empty()) << "the answer's memory leaked";
}

TEST(RelayLoop, MemoryGrownForALargeAnswerIsGivenBackBeforeTheNextMessage) {
  Session s;
  const std::string large(16 << 20, 'b');
  s.os.stdin_data = frame("{}") + frame("{}");
  s.os.stdin_read_limit = frame("{}").size();  // one message per read
  s.os.app_chunks.emplace_back(large + "\n");
  s.os.app_chunks.emplace_back("small\n");
  s.run();
  EXPECT_EQ(frames_in(s.os.stdout_data), (Lines{large, "small"}));
  // The block grew for the large answer, and the host held no more than
  // its usual block when it went on to read the next message.
  EXPECT_GT(*std::max_element(s.os.block_sizes.begin(), s.os.block_sizes.end()),
            large.size());
  ASSERT_EQ(s.os.block_bytes_at_stdin_reads.size(), 3u);
  EXPECT_EQ(s.os.block_bytes_at_stdin_reads[1], AnswerBuffer::USUAL_CAPACITY);
}

// No platform call of the host's reports an interrupted transfer today,
// but every loop that moves bytes must take one in its stride.
TEST(RelayLoop, InterruptedTransfersAreTriedAgain) {
  const IoError interrupted = IoError::system(10004, ErrorKind::Interrupted);
  Session s;
  s.os.stdin_data = frame("{\"n\":1}");
  s.os.stdin_interruptions = 2;
  s.os.send_script = {std::unexpected(interrupted), 3,
                      std::unexpected(interrupted)};
  s.os.app_chunks = {std::unexpected(interrupted), std::string("{\"ok\":1}\n")};
  s.os.stdout_script = {std::unexpected(interrupted)};
  EXPECT_EQ(last_lines(s.run(), 4),
            (Lines{"Received response from app: {\"ok\":1}",
                   "Successfully relayed response #1 to Chrome",
                   "Chrome disconnected (EOF) after 1 messages",
                   "Proxy loop ended after 1 messages"}));
  EXPECT_EQ(s.os.sent_to_app, "{\"n\":1}\n");
  EXPECT_EQ(frames_in(s.os.stdout_data), Lines{"{\"ok\":1}"});
}

TEST(RelayLoop, SendFailuresNameTheStepThatFailed) {
  const IoError reset = IoError::system(10054, ErrorKind::ConnectionReset);
  struct Case {
    std::deque<Result<std::size_t>> script;
    const char* line;
  };
  const Case cases[] = {
      {{std::unexpected(reset)},
       "Error writing to app: reset (os error 10054)"},
      {{1, 1, std::unexpected(reset)},
       "Error writing newline: reset (os error 10054)"},
      {{0}, "Error writing to app: failed to write whole buffer"},
  };
  for (const Case& c : cases) {
    Session s;
    s.os.system_messages[10054] = "reset";
    s.os.stdin_data = frame("{}");
    s.os.send_script = c.script;
    EXPECT_EQ(last_lines(s.run(), 2),
              (Lines{c.line, "Proxy loop ended after 1 messages"}));
  }
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
    EXPECT_EQ(last_lines(s.run(), 2),
              (Lines{c.line, "Proxy loop ended after 1 messages"}));
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
