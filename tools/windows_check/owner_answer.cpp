#include "owner_answer.h"

#include "judgements.h"
#include "log/error_text.h"
#include "stopwatch.h"

namespace tavorin::windows_check {

OwnerAnswer ask_host(WindowsPlatform& os, std::uint16_t port) {
  auto socket = os.open_tcp_socket();
  if (!socket) return {false, 0, error_text(os, socket.error())};
  if (auto connected = os.connect_loopback(*socket, port); !connected) {
    os.close_socket(*socket);
    return {false, 0, "connect: " + error_text(os, connected.error())};
  }
  Stopwatch clock;
  auto owner = os.check_listener_owner(*socket);
  OwnerAnswer answer{owner.has_value(), clock.elapsed_ms(), ""};
  os.close_socket(*socket);
  return answer;
}

std::string answer_text(const OwnerAnswer& answer) {
  if (!answer.problem.empty()) return "not asked: " + answer.problem;
  return std::string(answer.ours ? "ours" : "not ours") + " (the lookup took " +
         milliseconds_text(answer.ms) + ")";
}

}  // namespace tavorin::windows_check
