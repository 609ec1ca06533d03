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

#include "host_session.h"

namespace tavorin::doctor {

namespace {

using Clock = std::chrono::steady_clock;

// Waits for every process of the host's group that the doctor has as its
// child: the host, and what the host started once it has gone, since the
// doctor takes in its orphans. So a host the doctor stopped is gone, with
// all it started, by the time the doctor reports it stopped.
void reap_group(pid_t group) {
  while (::waitpid(-group, nullptr, 0) > 0 || errno == EINTR) {
  }
}

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
// browser starts a host in the host's own folder with its own arguments;
// an exec failure goes back as errno.
[[noreturn]] void become_host(const char* program, int input, int output,
                              int error, int failure, const char* folder,
                              char* const* argv) {
  ::setpgid(0, 0);
  ::dup2(input, STDIN_FILENO);
  ::dup2(output, STDOUT_FILENO);
  ::dup2(error, STDERR_FILENO);
  (void)::chdir(folder);
  ::execv(program, argv);
  int code = errno;
  (void)!::write(failure, &code, sizeof code);
  ::_exit(127);
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

class PosixHostSession final : public HostSession {
 public:
  PosixHostSession(pid_t pid, std::string command, int input, int output,
                   int error)
      : pid_(pid),
        command_(std::move(command)),
        input_(input),
        output_(output),
        error_(error) {}

  ~PosixHostSession() override {
    if (!reaped_) finish(std::chrono::milliseconds(0));
    for (int* fd : {&input_, &output_, &error_}) close_fd(*fd);
  }

  bool write(std::string_view bytes) override {
    while (!bytes.empty() && input_ >= 0) {
      ssize_t done = ::write(input_, bytes.data(), bytes.size());
      if (done < 0 && errno == EINTR) continue;
      if (done <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(done));
    }
    return bytes.empty();
  }

  std::string read(std::size_t size, std::chrono::milliseconds limit) override {
    auto deadline = Clock::now() + limit;
    while (pending_.size() < size && output_ >= 0 && wait(deadline)) {
    }
    std::size_t taken = std::min(size, pending_.size());
    std::string bytes = pending_.substr(0, taken);
    pending_.erase(0, taken);
    return bytes;
  }

  HostRun finish(std::chrono::milliseconds limit) override {
    HostRun run{.command = command_};
    close_fd(input_);
    auto deadline = Clock::now() + limit;
    while ((output_ >= 0 || error_ >= 0) && wait(deadline)) {
    }
    reap(deadline, run);
    run.log = log_;
    run.output_bytes = pending_.size();
    return run;
  }

 private:
  // Takes what either output has until one has something or the deadline
  // passes; false at the deadline.
  bool wait(Clock::time_point deadline) {
    std::array<pollfd, 2> fds{{{output_, POLLIN, 0}, {error_, POLLIN, 0}}};
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - Clock::now());
    if (left.count() <= 0) return false;
    int ready = ::poll(fds.data(), fds.size(), static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) return true;
    if (ready <= 0) return false;
    take(fds[0], output_, pending_);
    take(fds[1], error_, log_);
    return true;
  }

  static void take(const pollfd& fd, int& owned, std::string& into) {
    if (fd.fd < 0 || fd.revents == 0) return;
    char buffer[65536];
    ssize_t got = ::read(fd.fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) return;
    if (got <= 0) {
      close_fd(owned);
    } else {
      into.append(buffer, static_cast<std::size_t>(got));
    }
  }

  void reap(Clock::time_point deadline, HostRun& run) {
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() >= deadline) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
        reap_group(pid_);
        run.timed_out = true;
        run.ending = "still running at the time limit: stopped by the doctor";
        reaped_ = true;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    reaped_ = true;
    run.ending = WIFEXITED(status)
                     ? "exit status " + std::to_string(WEXITSTATUS(status))
                     : "killed by signal " + std::to_string(WTERMSIG(status));
  }

  pid_t pid_;
  std::string command_;
  int input_;
  int output_;
  int error_;
  bool reaped_ = false;
  std::string pending_;
  std::string log_;
};

}  // namespace

std::string launch_command(const HostToStart& host) {
  std::string text = host.program;
  for (const std::string& argument : host.arguments) text += " " + argument;
  return text;
}

std::expected<std::unique_ptr<HostSession>, std::string> HostSession::start(
    const HostToStart& host) {
  Pipe input, output, error, failure;
  if (!input.open() || !output.open() || !error.open() || !failure.open()) {
    return std::unexpected(std::string("cannot make pipes: ") +
                           std::strerror(errno));
  }
  std::string folder = folder_of(host.program);
  std::vector<std::string> words = {host.program};
  words.insert(words.end(), host.arguments.begin(), host.arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  // What a host started becomes the doctor's child when the host ends,
  // rather than init's, so that stopping a host can wait for all of it.
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  pid_t pid = ::fork();
  if (pid == 0) {
    become_host(host.program.c_str(), input.read, output.write, error.write,
                failure.write, folder.c_str(), argv.data());
  }
  for (int* fd : {&input.read, &output.write, &error.write, &failure.write}) {
    close_fd(*fd);
  }
  std::string why = pid < 0
                        ? std::string("cannot fork: ") + std::strerror(errno)
                        : exec_failure(failure.read);
  close_fd(failure.read);
  if (!why.empty()) {
    if (pid > 0) ::waitpid(pid, nullptr, 0);
    for (int* fd : {&input.write, &output.read, &error.read}) close_fd(*fd);
    return std::unexpected(why);
  }
  return std::make_unique<PosixHostSession>(
      pid, launch_command(host), input.write, output.read, error.read);
}

}  // namespace tavorin::doctor
