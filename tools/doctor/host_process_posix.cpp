#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "host_process.h"

namespace tavorin::doctor {

namespace {

using Clock = std::chrono::steady_clock;

struct Pipe {
  int read = -1;
  int write = -1;

  bool open() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    read = ends[0];
    write = ends[1];
    return true;
  }
};

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

std::string folder_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

// In the child between fork and exec: only calls that are safe there. The
// browser starts a host in the host's own folder with its own arguments
// (Chrome the extension's origin, Firefox the manifest's path and the
// extension's ID); an exec failure goes back as errno.
[[noreturn]] void become_host(const HostToStart& host, const Pipe& input,
                              const Pipe& output, const Pipe& error,
                              const Pipe& failure, const char* folder,
                              char* const* argv) {
  ::setpgid(0, 0);
  ::dup2(input.read, STDIN_FILENO);
  ::dup2(output.write, STDOUT_FILENO);
  ::dup2(error.write, STDERR_FILENO);
  (void)::chdir(folder);
  ::execv(host.program.c_str(), argv);
  int code = errno;
  (void)!::write(failure.write, &code, sizeof code);
  ::_exit(127);
}

// Reads both of the host's outputs until both end or the deadline passes.
void collect_output(int output, int error, Clock::time_point deadline,
                    HostRun& run) {
  std::array<pollfd, 2> fds{{{output, POLLIN, 0}, {error, POLLIN, 0}}};
  char buffer[4096];
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - Clock::now());
    if (left.count() <= 0) return;
    int ready = ::poll(fds.data(), fds.size(), static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return;
    for (pollfd& fd : fds) {
      if (fd.fd < 0 || fd.revents == 0) continue;
      ssize_t got = ::read(fd.fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        fd.fd = -1;
      } else if (fd.fd == error) {
        run.log.append(buffer, static_cast<std::size_t>(got));
      } else {
        run.output_bytes += static_cast<std::size_t>(got);
      }
    }
  }
}

// Waits for every process of the host's group that the doctor has as its
// child: the host, and what the host started once it has gone, since the
// doctor takes in its orphans. So a host the doctor stopped is gone, with
// all it started, by the time the doctor reports it stopped.
void reap_group(pid_t group) {
  while (::waitpid(-group, nullptr, 0) > 0 || errno == EINTR) {
  }
}

// Waits for the host to end until the deadline; after it, stops it.
void reap(pid_t pid, Clock::time_point deadline, HostRun& run) {
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
      reap_group(pid);
      run.timed_out = true;
      run.ending = "still running at the time limit: stopped by the doctor";
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  run.ending = WIFEXITED(status)
                   ? "exit status " + std::to_string(WEXITSTATUS(status))
                   : "killed by signal " + std::to_string(WTERMSIG(status));
}

std::string exec_failure(int failure_read) {
  int code = 0;
  ssize_t got = 0;
  do {
    got = ::read(failure_read, &code, sizeof code);
  } while (got < 0 && errno == EINTR);
  if (got != static_cast<ssize_t>(sizeof code)) return {};
  return std::string("cannot start it: ") + std::strerror(code);
}

std::string command_text(const HostToStart& host) {
  std::string text = host.program;
  for (const std::string& argument : host.arguments) text += " " + argument;
  return text;
}

}  // namespace

HostRun run_host_as_browser(const HostToStart& host,
                            std::chrono::milliseconds limit) {
  HostRun run{.command = command_text(host)};
  Pipe input, output, error, failure;
  if (!input.open() || !output.open() || !error.open() || !failure.open()) {
    run.start_error = std::string("cannot make pipes: ") + std::strerror(errno);
    return run;
  }
  std::string folder = folder_of(host.program);
  std::vector<std::string> words = {host.program};
  words.insert(words.end(), host.arguments.begin(), host.arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  auto deadline = Clock::now() + limit;
  // What a host started becomes the doctor's child when the host ends,
  // rather than init's, so that stopping a host can wait for all of it.
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  pid_t pid = ::fork();
  if (pid == 0) {
    become_host(host, input, output, error, failure, folder.c_str(),
                argv.data());
  }
  for (int* fd : {&input.read, &input.write, &output.write, &error.write,
                  &failure.write}) {
    close_fd(*fd);
  }
  if (pid < 0) {
    run.start_error = std::string("cannot fork: ") + std::strerror(errno);
  } else {
    run.start_error = exec_failure(failure.read);
    collect_output(output.read, error.read, deadline, run);
    reap(pid, deadline, run);
  }
  for (int* fd : {&output.read, &error.read, &failure.read}) close_fd(*fd);
  return run;
}

}  // namespace tavorin::doctor
