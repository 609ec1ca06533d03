#pragma once

#include <string>
#include <vector>

#include "child.h"

namespace bench {

// One program under test, as a row of the tables.
struct Relay {
  std::string name;
  std::vector<std::string> command;
  std::string stderr_path = "/dev/null";
  // Variables the program needs besides the temporary directory.
  std::vector<std::string> environment;
  // The program runs under Wine and learns the temporary directory from
  // TAVORIN_TMP as a Windows path.
  bool under_wine = false;
};

// How to start the relay so that it looks for the app in `temp_directory`.
Launch launch_in(const Relay& relay, const std::string& temp_directory);

}  // namespace bench
