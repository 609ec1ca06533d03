#include "subjects.h"

#include "child.h"
#include "path_lookup.h"
#include "shown_path.h"

namespace bench {

namespace {

Subject subject(std::string name, std::string column, Role role,
                std::vector<std::string> command) {
  Subject made;
  made.relay.name = std::move(name);
  made.relay.command = std::move(command);
  made.column = std::move(column);
  made.role = role;
  return made;
}

}  // namespace

std::vector<Subject> native_subjects(const Programs& programs,
                                     const std::string& log_file) {
  std::vector<Subject> subjects;
  subjects.push_back(subject("tavorin_shim, stderr /dev/null", "stderr null",
                             Role::Host, {programs.host}));
  subjects.push_back(subject("tavorin_shim, stderr to a file", "stderr file",
                             Role::Host, {programs.host}));
  subjects.back().relay.stderr_path = log_file;
  subjects.push_back(
      subject("floor relay", "floor", Role::Floor, {programs.floor}));
  if (!programs.python.empty()) {
    subjects.push_back(subject("python_host.py", "Python", Role::Script,
                               {programs.python, programs.python_script}));
  }
  return subjects;
}

Subject other_host(const std::string& program) {
  return subject("other: " + shown_path(program),
                 folder_name(program).substr(0, 18), Role::Host, {program});
}

Interpreter find_python() {
  if (!on_path("python3")) return {};
  std::string both = output_of(
      {"python3", "-c",
       "import sys; print(sys.executable); print(sys.version.split()[0])"});
  std::size_t line_feed = both.find('\n');
  if (line_feed == std::string::npos) return {};
  return {both.substr(0, line_feed), both.substr(line_feed + 1)};
}

}  // namespace bench
