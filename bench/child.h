#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace bench {

// How to start a program: its command line (the first word looked up in
// PATH), its whole environment, and where its standard error goes.
struct Launch {
  std::vector<std::string> command;
  std::vector<std::string> environment;
  std::string stderr_path = "/dev/null";
};

struct Exit {
  int status = -1;
};

// A running program whose standard input and output are pipes held by the
// benchmark, as the browser holds a host's.
class Child {
 public:
  explicit Child(const Launch& launch);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  int input() const { return input_; }
  int output() const { return output_; }

  // End of input: the browser has closed the port.
  void close_input();
  // Waits for the program to end by itself.
  Exit wait();
  // Closes input, then waits for the program to end.
  Exit finish();

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  bool waited_ = false;
};

// Runs a helper program with every standard stream on /dev/null to its end;
// its exit status, or -1 when it did not exit normally.
int run_quietly(const std::vector<std::string>& command,
                const std::vector<std::string>& environment);

// What a helper program prints on standard output, its last line feed
// removed.
std::string output_of(const std::vector<std::string>& command);

// This process's environment with `replacements` ("NAME=value") taking the
// place of any variable of the same name.
std::vector<std::string> environment_with(
    const std::vector<std::string>& replacements);

}  // namespace bench
