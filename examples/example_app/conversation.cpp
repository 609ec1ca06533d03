#include "conversation.h"

#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "answers.h"

namespace tavorin::example {
namespace {

struct Conversation {
  int connection;
  const AppOptions& options;
  Recorder& recorder;
};

void sleep_ms(int ms) {
  timespec rest = {ms / 1000, static_cast<long>(ms % 1000) * 1'000'000L};
  while (::nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

bool send_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// Ends the app's side of the connection the orderly way: the host sees the
// end of the stream at its next read, whatever it sends meanwhile. What the
// host still sends is read and dropped until it closes its side.
void end_conversation(int fd) {
  ::shutdown(fd, SHUT_WR);
  char buffer[4096];
  for (;;) {
    ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
  }
}

// Serves one connection until the host closes it, a send fails, or the
// answer limit of --close-after is reached.
void serve(int fd, const AppOptions& options, Recorder& recorder) {
  std::string pending;
  int answers = 0;
  char buffer[65536];
  for (;;) {
    if (answers == options.close_after) return end_conversation(fd);
    ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(got));
    std::size_t start = 0;
    for (std::size_t end;
         answers != options.close_after &&
         (end = pending.find('\n', start)) != std::string::npos;
         start = end + 1) {
      std::string_view line(pending.data() + start, end - start);
      recorder.record(std::string_view(line.data(), line.size() + 1));
      if (options.slow_ms > 0) sleep_ms(options.slow_ms);
      std::string answer = answer_bytes(options, line);
      if (!answer.empty() && !send_all(fd, answer)) return;
      ++answers;
    }
    pending.erase(0, start);
  }
  // The peer's last bytes without a line feed still count as received.
  if (!pending.empty()) recorder.record(pending);
}

extern "C" void* converse(void* argument) {
  std::unique_ptr<Conversation> conversation(
      static_cast<Conversation*>(argument));
  serve(conversation->connection, conversation->options,
        conversation->recorder);
  ::close(conversation->connection);
  return nullptr;
}

}  // namespace

bool converse_in_background(int connection, const AppOptions& options,
                            Recorder& recorder) {
  auto conversation =
      std::make_unique<Conversation>(connection, options, recorder);
  pthread_t thread;
  if (::pthread_create(&thread, nullptr, converse, conversation.get()) != 0) {
    ::close(connection);
    return false;
  }
  conversation.release();
  ::pthread_detach(thread);
  return true;
}

}  // namespace tavorin::example
