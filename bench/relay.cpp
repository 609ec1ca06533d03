#include "relay.h"

#include <algorithm>

namespace bench {

namespace {

// Wine shows the Unix root as drive Z:.
std::string windows_path(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return "Z:" + path;
}

}  // namespace

Launch launch_in(const Relay& relay, const std::string& temp_directory) {
  std::vector<std::string> variables = relay.environment;
  variables.push_back("TMPDIR=" + temp_directory);
  if (relay.under_wine) {
    variables.push_back("TAVORIN_TMP=" + windows_path(temp_directory));
  }
  Launch launch;
  launch.command = relay.command;
  launch.environment = environment_with(variables);
  launch.stderr_path = relay.stderr_path;
  return launch;
}

}  // namespace bench
