#include "cmd_line.h"

namespace tavorin::doctor {

namespace {

using native_messaging::ManifestProblem;

constexpr std::string_view DIRECT_LAUNCH_FIX =
    " (or, for an administrator, policy NativeHostsExecutablesLaunchDirectly "
    "= 1, which makes Chrome and Edge start the host without cmd.exe)";

}  // namespace

// On a command line (not in a batch file) cmd.exe leaves %NAME% as it is
// written when NAME is not set, and reads on after its closing %; a name
// followed by ":" (%PATH:~0,3%, %PATH:a=b%) is taken up to the colon.
std::vector<std::string> expanded_sequences(std::string_view path,
                                            const CmdEnvironment& environment) {
  std::vector<std::string> found;
  for (std::size_t at = path.find('%'); at != std::string_view::npos;) {
    std::size_t close = path.find('%', at + 1);
    if (close == std::string_view::npos) break;
    std::string_view inside = path.substr(at + 1, close - at - 1);
    std::string_view name = inside.substr(0, inside.find(':'));
    if (!name.empty() && environment.is_set(name)) {
      found.emplace_back(path.substr(at, close - at + 1));
    }
    at = path.find('%', close + 1);
  }
  return found;
}

std::vector<ManifestProblem> cmd_line_problems(
    const std::string& host_path, const CmdEnvironment& environment) {
  std::vector<ManifestProblem> problems;
  for (const std::string& sequence :
       expanded_sequences(host_path, environment)) {
    problems.push_back(
        {"the host's path " + host_path + " holds " + sequence +
             ", which cmd.exe replaces with that variable's value on the "
             "browser's command line, so the browser cannot start the host",
         "move the host to a folder without % in its name and install "
         "again" +
             std::string(DIRECT_LAUNCH_FIX)});
  }
  if (environment.delayed_expansion &&
      host_path.find('!') != std::string::npos) {
    problems.push_back(
        {"the host's path " + host_path +
             " holds \"!\", which cmd.exe drops or expands on the browser's "
             "command line: delayed expansion is on for every cmd.exe "
             "(DelayedExpansion under Software\\Microsoft\\Command Processor)",
         "move the host to a folder without ! in its name and install "
         "again" +
             std::string(DIRECT_LAUNCH_FIX)});
  }
  return problems;
}

}  // namespace tavorin::doctor
