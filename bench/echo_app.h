#pragma once

#include <cstdint>
#include <string>
#include <thread>

namespace bench {

// The desktop app as far as a relay can tell: a lock file and a port file in
// the given directory and, on 127.0.0.1, a listener that answers each line
// with {"echo":<line>} on a line of its own. It serves one connection at a
// time, which is all the benchmark ever opens.
class EchoApp {
 public:
  explicit EchoApp(const std::string& directory);
  ~EchoApp();
  EchoApp(const EchoApp&) = delete;
  EchoApp& operator=(const EchoApp&) = delete;

 private:
  void serve();

  int listener_ = -1;
  std::thread thread_;
};

// What the app answers to a line holding `message`.
std::string echo_answer(const std::string& message);

}  // namespace bench
