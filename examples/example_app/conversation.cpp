#include "conversation.h"

#include <memory>
#include <string>
#include <string_view>

#include "answers.h"
#include "listener.h"

namespace tavorin::example {
namespace {

struct Conversation {
  Socket connection;
  const AppOptions& options;
  Recorder& recorder;
};

// Ends the app's side of the connection the orderly way: the host sees the
// end of the stream at its next read, whatever it sends meanwhile. What the
// host still sends is read and dropped until it closes its side.
void end_conversation(Socket connection) {
  end_sending(connection);
  char buffer[4096];
  while (receive_some(connection, buffer, sizeof buffer) > 0) {
  }
}

// Serves one connection until the host closes it, a send fails, or the
// answer limit of --close-after is reached.
void serve(Socket connection, const AppOptions& options, Recorder& recorder) {
  std::string pending;
  int answers = 0;
  std::string buffer(65536, '\0');
  for (;;) {
    if (answers == options.close_after) return end_conversation(connection);
    long got = receive_some(connection, buffer.data(), buffer.size());
    if (got <= 0) break;
    pending.append(buffer.data(), static_cast<std::size_t>(got));
    std::size_t start = 0;
    for (std::size_t end;
         answers != options.close_after &&
         (end = pending.find('\n', start)) != std::string::npos;
         start = end + 1) {
      std::string_view line(pending.data() + start, end - start);
      recorder.record(std::string_view(line.data(), line.size() + 1));
      if (options.slow_ms > 0) sleep_ms(options.slow_ms);
      std::string answer = answer_bytes(options, line);
      if (!answer.empty() && !send_all(connection, answer)) return;
      ++answers;
    }
    pending.erase(0, start);
  }
  // The peer's last bytes without a line feed still count as received.
  if (!pending.empty()) recorder.record(pending);
}

void converse(void* argument) {
  std::unique_ptr<Conversation> conversation(
      static_cast<Conversation*>(argument));
  serve(conversation->connection, conversation->options,
        conversation->recorder);
  close_connection(conversation->connection);
}

}  // namespace

bool converse_in_background(Socket connection, const AppOptions& options,
                            Recorder& recorder) {
  auto conversation =
      std::make_unique<Conversation>(connection, options, recorder);
  if (!run_in_background(converse, conversation.get())) {
    close_connection(connection);
    return false;
  }
  conversation.release();
  return true;
}

}  // namespace tavorin::example
