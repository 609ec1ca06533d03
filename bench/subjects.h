#pragma once

#include <string>
#include <vector>

#include "figures.h"

namespace bench {

// Where the programs under test are.
struct Programs {
  std::string host;
  std::string floor;
  std::string python;  // the interpreter; empty when there is none
  std::string python_script;
};

// The host twice (standard error to /dev/null, then to `log_file`), the
// floor, and the Python host when there is an interpreter.
std::vector<Subject> native_subjects(const Programs& programs,
                                     const std::string& log_file);

// Another build of the host (standard error to /dev/null), named after its
// path and its column after its folder, as a row to compare with.
Subject other_host(const std::string& program);

// The interpreter that `python3` in PATH runs (not a wrapper script in front
// of it), and its version; empty when there is none.
struct Interpreter {
  std::string path;
  std::string version;
};
Interpreter find_python();

}  // namespace bench
