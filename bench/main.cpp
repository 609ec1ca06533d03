// Plays the browser for the host, a minimal relay and a Python host in turn,
// against an echo app on 127.0.0.1, and prints what each costs.
//
//   --quick               a fifth of the repeats, to try it out
//   --all-cpus            let every process run on any CPU (the figures then
//                         include the machine's wake-up delays)
//   --host PROGRAM        measure another build as the host
//   --other-host PROGRAM  add another build as a row of its own (repeatable),
//                         e.g. to show a change before and after
//   --windows-host EXE    the Windows host to run under Wine
//   --other-windows-host EXE
//                         add another Windows build under Wine (repeatable)
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "echo_app.h"
#include "machine_info.h"
#include "measure.h"
#include "path_lookup.h"
#include "placement.h"
#include "report.h"
#include "shown_path.h"
#include "subjects.h"
#include "temp_dir.h"
#include "text_kinds.h"
#include "wine.h"

namespace {

struct Options {
  bool quick = false;
  bool all_cpus = false;
  std::string host = BENCH_HOST_PROGRAM;
  std::string windows_host = BENCH_WINDOWS_HOST;
  std::vector<std::string> other_hosts;  // other builds, to compare
  std::vector<std::string> other_windows_hosts;
};

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: relay_bench [--quick] [--all-cpus] [--host PROGRAM] "
               "[--other-host PROGRAM]... [--windows-host PROGRAM] "
               "[--other-windows-host PROGRAM]...\n");
  std::exit(2);
}

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string_view option = argv[i];
    bool has_value = i + 1 < argc;
    if (option == "--quick") {
      options.quick = true;
    } else if (option == "--all-cpus") {
      options.all_cpus = true;
    } else if (option == "--host" && has_value) {
      options.host = argv[++i];
    } else if (option == "--other-host" && has_value) {
      options.other_hosts.emplace_back(argv[++i]);
    } else if (option == "--windows-host" && has_value) {
      options.windows_host = argv[++i];
    } else if (option == "--other-windows-host" && has_value) {
      options.other_windows_hosts.emplace_back(argv[++i]);
    } else {
      usage();
    }
  }
  return options;
}

// Why the Wine row is missing, or empty when it can be measured.
std::string wine_obstacle(const std::string& program) {
  if (::access(program.c_str(), R_OK) != 0) {
    return "not measured: " + bench::shown_path(program) + " is not built";
  }
  if (!bench::on_path("wine")) return "not measured: wine is not installed";
  return "";
}

bench::Subject wine_subject(const bench::WineSession& wine, std::string name,
                            const std::string& program) {
  bench::Subject under_wine;
  under_wine.relay = wine.relay(name, program);
  under_wine.column = "Wine";
  under_wine.role = bench::Role::HostUnderWine;
  under_wine.partial = true;
  return under_wine;
}

// Adds the Windows host under Wine, and any other Windows build, when they
// can be measured; says how it went.
std::string add_wine_subjects(const Options& options, const bench::Plan& plan,
                              std::optional<bench::WineSession>& wine,
                              std::vector<bench::Subject>& subjects) {
  std::string obstacle = wine_obstacle(options.windows_host);
  for (const std::string& other : options.other_windows_hosts) {
    if (obstacle.empty()) obstacle = wine_obstacle(other);
  }
  if (!obstacle.empty()) return obstacle;
  wine.emplace(BENCH_WINE_PREFIX);
  subjects.push_back(
      wine_subject(*wine, "tavorin_shim.exe (Wine)", options.windows_host));
  std::string shown = bench::shown_path(options.windows_host);
  for (const std::string& other : options.other_windows_hosts) {
    subjects.push_back(wine_subject(
        *wine, "other: " + bench::shown_path(other) + " (Wine)", other));
    shown += ", other: " + bench::shown_path(other);
  }
  return shown + ", round trips of " + plan.sizes[0].label +
         " of ASCII only and start-ups; its figures are Wine's";
}

struct Notes {
  std::vector<std::string> programs;  // "what: path" lines
  std::string cpus;
};

std::string preamble(const Notes& notes) {
  std::string text = "Relay benchmark, " + bench::utc_now() + "\n";
  text += "machine: " + bench::machine_summary() + "\n";
  for (const std::string& line : notes.programs) text += line + "\n";
  text +=
      "Each message is a JSON string of the size given; the app answers "
      "{\"echo\":<message>}, 9 bytes more. Its text:\n";
  for (bench::TextKind kind : bench::TEXT_KINDS) {
    text += std::string("  ") + bench::kind_name(kind) + ": " +
            bench::kind_description(kind) + "\n";
  }
  text += "The benchmark, the app and the relays ran on " + notes.cpus + ".\n";
  return text;
}

std::string python_note(const bench::Interpreter& python) {
  if (python.path.empty()) return "python: not found";
  return "python: python3 " + python.version;
}

}  // namespace

int main(int argc, char** argv) {
  // A relay that dies shows up as a failed write, not as the bench's death.
  std::signal(SIGPIPE, SIG_IGN);
  Options options = parse(argc, argv);
  bench::Plan plan = options.quick ? bench::quick_plan() : bench::Plan{};
  Notes notes;
  // Before any thread or process starts, so that every one of them inherits
  // the placement.
  notes.cpus = options.all_cpus
                   ? "every CPU"
                   : "CPU " + std::to_string(bench::keep_to_one_cpu()) +
                         " only (--all-cpus to spread them)";

  bench::Interpreter python = bench::find_python();
  bench::Programs programs{options.host, BENCH_FLOOR_PROGRAM, python.path,
                           BENCH_PYTHON_HOST};
  bench::TempDir root;
  bench::Places places{root.subdirectory("app"), root.subdirectory("no_app")};
  std::vector<bench::Subject> subjects =
      bench::native_subjects(programs, root.file("host_stderr.log"));
  notes.programs.push_back("host: " + bench::shown_path(options.host));
  for (const std::string& other : options.other_hosts) {
    subjects.push_back(bench::other_host(other));
    notes.programs.push_back("other host: " + bench::shown_path(other));
  }
  notes.programs.push_back("floor: " + bench::shown_path(BENCH_FLOOR_PROGRAM));
  notes.programs.push_back(python_note(python));
  std::optional<bench::WineSession> wine;
  notes.programs.push_back("wine: " +
                           add_wine_subjects(options, plan, wine, subjects));

  bench::EchoApp app(places.app);
  bench::measure_all(subjects, plan, places);
  bench::print_report(subjects, plan, preamble(notes));
  return 0;
}
