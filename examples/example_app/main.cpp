// tavorin_example_app: the desktop app's side of the host's contract, small
// enough to read in one sitting, the same program on Linux and on Windows.
// It listens on 127.0.0.1, announces itself through a port file and a lock
// file in the temporary directory, and answers every line it receives with
// one line, on every connection at once. Options make it misbehave in the
// ways a real app can, so that the host can be tried against them.
#include <cstdio>
#include <string>

#include "app_files.h"
#include "conversation.h"
#include "listener.h"
#include "options.h"

namespace tavorin::example {
namespace {

int fail(const char* what) {
  std::fprintf(stderr, "tavorin_example_app: %s: %s\n", what,
               last_error_text().c_str());
  return 1;
}

int run(const AppOptions& options) {
  if (!start_networking()) return fail("cannot use the network");
  AppFiles files(options.temp_dir, options.mode);
  Recorder recorder(options.record_path);
  if (!recorder.ok()) return fail("cannot open the record file");
  std::uint16_t port = 0;
  std::optional<Socket> listener = listen_on_loopback(options.port, port);
  if (!listener) return fail("cannot listen on 127.0.0.1");
  // The lock file comes last: a host that finds it finds the port too.
  if (options.write_port_file && !files.write_port_file(port)) {
    return fail("cannot write the port file");
  }
  if (!files.create_lock_file()) return fail("cannot create the lock file");
  std::printf("listening on %u\n", unsigned{port});
  std::fflush(stdout);
  for (;;) {
    std::optional<Socket> connection = accept_connection(*listener);
    if (!connection) return fail("accept failed");
    if (!converse_in_background(*connection, options, recorder)) {
      std::fprintf(stderr,
                   "tavorin_example_app: cannot start a conversation: %s\n",
                   last_error_text().c_str());
    }
  }
}

}  // namespace
}  // namespace tavorin::example

// The entry points, a file per system (main_posix.cpp, main_windows.cpp),
// hand their arguments over as UTF-8.
int run_example_app(int argc, char** argv) {
  std::optional<tavorin::example::AppOptions> options =
      tavorin::example::parse_options(argc, argv);
  if (!options) return 2;
  return tavorin::example::run(*options);
}
