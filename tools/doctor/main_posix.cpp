#include <csignal>
#include <string>
#include <vector>

#include "doctor.h"
#include "platform/posix/posix_platform.h"

int main(int argc, char** argv) {
  // A reader that has gone (tavorin_doctor | head) ends the output quietly.
  std::signal(SIGPIPE, SIG_IGN);
  tavorin::PosixPlatform os;
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return tavorin::doctor::run_doctor(os, arguments);
}
