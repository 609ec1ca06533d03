// How fast the host checks UTF-8: each engine on each kind of text, as
// GB/s on this machine, beside the streaming checker as the message path
// feeds it. It prints figures only.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "report_cells.h"
#include "text/utf8.h"
#include "text/utf8_checker.h"
#include "text_kinds.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int RUNS = 7;                            // the best one counts
constexpr std::chrono::milliseconds RUN_TIME{20};  // each, at least
constexpr std::size_t ARRIVAL = 65536;             // one read from a socket
constexpr std::size_t SIZES[] = {65536, 1048576};

constexpr tavorin::Utf8Engine ENGINES[] = {tavorin::Utf8Engine::Scalar,
                                           tavorin::Utf8Engine::Sse,
                                           tavorin::Utf8Engine::Avx2};

const char* engine_name(tavorin::Utf8Engine engine) {
  switch (engine) {
    case tavorin::Utf8Engine::Avx2: return "AVX2";
    case tavorin::Utf8Engine::Sse: return "SSSE3";
    case tavorin::Utf8Engine::Scalar: break;
  }
  return "scalar";
}

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "validator_bench: %s\n", what);
  std::exit(1);
}

// The whole text checked as the relay checks a message it has in full.
bool check_whole(tavorin::Utf8Engine engine, std::string_view text) {
  return tavorin::is_valid_utf8_with(engine, text);
}

// The text checked as it arrives, a socket read at a time, then finished.
bool check_arriving(std::string_view text) {
  tavorin::Utf8Checker checker;
  for (std::size_t end = ARRIVAL; end < text.size(); end += ARRIVAL) {
    checker.check_arrived(text.substr(0, end));
  }
  return checker.finish(text);
}

// The best speed over RUNS runs of repeated checks, in GB/s.
template <typename Check>
double gigabytes_per_second(std::string_view text, Check check) {
  double best = 0.0;
  for (int run = 0; run < RUNS; ++run) {
    long checks = 0;
    Clock::time_point start = Clock::now();
    Clock::duration elapsed{};
    do {
      if (!check(text)) fail("well-formed text found ill-formed");
      ++checks;
      elapsed = Clock::now() - start;
    } while (elapsed < RUN_TIME);
    double seconds = std::chrono::duration<double>(elapsed).count();
    best = std::max(best, static_cast<double>(checks) *
                              static_cast<double>(text.size()) / seconds / 1e9);
  }
  return best;
}

void print_headings() {
  bench::print_name("text, size");
  for (tavorin::Utf8Engine engine : ENGINES) {
    bench::print_heading(engine_name(engine), 1);
  }
  bench::print_heading("arriving", 1);
  std::printf("\n");
}

void print_row(bench::TextKind kind, std::size_t size) {
  const std::string text = bench::json_text(kind, size);
  std::string name = std::string(bench::kind_name(kind)) + ", " +
                     (size < 1048576 ? std::to_string(size / 1024) + " KiB"
                                     : std::to_string(size / 1048576) + " MiB");
  bench::print_name(name);
  for (tavorin::Utf8Engine engine : ENGINES) {
    std::optional<double> speed;
    if (tavorin::utf8_engine_available(engine)) {
      speed = gigabytes_per_second(text, [engine](std::string_view bytes) {
        return check_whole(engine, bytes);
      });
    }
    bench::print_cell(speed);
  }
  bench::print_cell(gigabytes_per_second(text, check_arriving));
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int main() {
  std::printf(
      "\nUTF-8 check, GB/s (best of %d runs of at least %lld ms; \"-\": not "
      "on this processor)\n",
      RUNS, static_cast<long long>(RUN_TIME.count()));
  std::printf(
      "Scalar is the byte-by-byte check the host had before; the host now "
      "uses %s.\n",
      engine_name(tavorin::chosen_utf8_engine()));
  std::printf(
      "Arriving: the streaming checker, fed %zu KiB at a time, then "
      "finished, with the engine in use.\n",
      ARRIVAL / 1024);
  print_headings();
  for (bench::TextKind kind : bench::TEXT_KINDS) {
    for (std::size_t size : SIZES) print_row(kind, size);
  }
  return 0;
}
