#include "child.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "fail.h"

namespace bench {

namespace {

std::vector<char*> c_strings(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (const std::string& text : strings) {
    pointers.push_back(const_cast<char*>(text.c_str()));
  }
  pointers.push_back(nullptr);
  return pointers;
}

struct Pipe {
  int read_end = -1;
  int write_end = -1;
};

// Both ends close on exec, so a program gets only the end given to it.
Pipe make_pipe() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) fail_system("pipe2");
  return {ends[0], ends[1]};
}

// The file actions that put the program's three standard streams in place.
class StreamActions {
 public:
  StreamActions() { posix_spawn_file_actions_init(&actions_); }
  ~StreamActions() { posix_spawn_file_actions_destroy(&actions_); }
  StreamActions(const StreamActions&) = delete;
  StreamActions& operator=(const StreamActions&) = delete;

  void use(int fd, int stream) {
    posix_spawn_file_actions_adddup2(&actions_, fd, stream);
  }
  void open(const std::string& path, int stream, int flags) {
    posix_spawn_file_actions_addopen(&actions_, stream, path.c_str(), flags,
                                     0644);
  }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

pid_t spawn(const std::vector<std::string>& command,
            const std::vector<std::string>& environment,
            const StreamActions& actions) {
  std::vector<char*> argv = c_strings(command);
  std::vector<char*> envp = c_strings(environment);
  pid_t pid = -1;
  int error = ::posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(),
                             envp.data());
  if (error != 0) {
    errno = error;
    fail_system(command[0]);
  }
  return pid;
}

Exit wait_for(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) fail_system("waitpid");
  }
  Exit exit;
  exit.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return exit;
}

}  // namespace

Child::Child(const Launch& launch) {
  Pipe to_child = make_pipe();
  Pipe from_child = make_pipe();
  StreamActions actions;
  actions.use(to_child.read_end, STDIN_FILENO);
  actions.use(from_child.write_end, STDOUT_FILENO);
  actions.open(launch.stderr_path, STDERR_FILENO, O_WRONLY | O_CREAT | O_TRUNC);
  pid_ = spawn(launch.command, launch.environment, actions);
  ::close(to_child.read_end);
  ::close(from_child.write_end);
  input_ = to_child.write_end;
  output_ = from_child.read_end;
}

Child::~Child() {
  if (!waited_) finish();
}

void Child::close_input() {
  if (input_ < 0) return;
  ::close(input_);
  input_ = -1;
}

Exit Child::wait() {
  Exit exit = wait_for(pid_);
  waited_ = true;
  close_input();
  ::close(output_);
  output_ = -1;
  return exit;
}

Exit Child::finish() {
  close_input();
  return wait();
}

int run_quietly(const std::vector<std::string>& command,
                const std::vector<std::string>& environment) {
  StreamActions actions;
  actions.open("/dev/null", STDIN_FILENO, O_RDONLY);
  actions.open("/dev/null", STDOUT_FILENO, O_WRONLY);
  actions.open("/dev/null", STDERR_FILENO, O_WRONLY);
  return wait_for(spawn(command, environment, actions)).status;
}

std::string output_of(const std::vector<std::string>& command) {
  Pipe from_child = make_pipe();
  StreamActions actions;
  actions.open("/dev/null", STDIN_FILENO, O_RDONLY);
  actions.use(from_child.write_end, STDOUT_FILENO);
  pid_t pid = spawn(command, environment_with({}), actions);
  ::close(from_child.write_end);
  std::string text;
  char chunk[4096];
  for (;;) {
    ssize_t got = ::read(from_child.read_end, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(chunk, static_cast<std::size_t>(got));
  }
  ::close(from_child.read_end);
  wait_for(pid);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

std::vector<std::string> environment_with(
    const std::vector<std::string>& replacements) {
  auto name_of = [](std::string_view entry) {
    return entry.substr(0, entry.find('='));
  };
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    bool replaced = false;
    for (const std::string& replacement : replacements) {
      replaced = replaced || name_of(replacement) == name_of(*entry);
    }
    if (!replaced) environment.emplace_back(*entry);
  }
  environment.insert(environment.end(), replacements.begin(),
                     replacements.end());
  return environment;
}

}  // namespace bench
