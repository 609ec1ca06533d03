#include "report.h"

#include <cstdio>

#include "report_cells.h"
#include "targets.h"

namespace bench {

namespace {

using SizeRow = std::array<std::optional<Distribution>, SIZE_COUNT>;

bool any_measured(const SizeRow& trips) {
  for (const auto& trip : trips) {
    if (trip) return true;
  }
  return false;
}

void print_round_trip_row(const std::string& name, const SizeRow& trips) {
  print_name(name);
  for (const auto& trip : trips) {
    print_cell(trip ? std::optional(trip->p50) : std::nullopt);
    print_cell(trip ? std::optional(trip->p99) : std::nullopt);
  }
  std::printf("\n");
}

void print_round_trips(const std::vector<Subject>& subjects, const Plan& plan) {
  std::printf(
      "\nRound trip per message, microseconds (p50 and p99 of each "
      "session, median of %d sessions of %d, %d, %d and %d messages)\n",
      plan.sessions, plan.sizes[0].messages, plan.sizes[1].messages,
      plan.sizes[2].messages, plan.sizes[3].messages);
  print_name("");
  for (const MessageSize& size : plan.sizes) print_heading(size.label, 2);
  std::printf("\n");
  print_name("text, relay");
  for (std::size_t i = 0; i < SIZE_COUNT; ++i) {
    print_heading("p50", 1);
    print_heading("p99", 1);
  }
  std::printf("\n");
  for (TextKind kind : TEXT_KINDS) {
    std::printf("%s: %s\n", kind_name(kind), kind_description(kind));
    for (const Subject& subject : subjects) {
      const SizeRow& trips = subject.figures.round_trip_us[index_of(kind)];
      if (any_measured(trips))
        print_round_trip_row("  " + subject.relay.name, trips);
    }
  }
}

std::optional<double> megabytes(std::optional<double> rate, std::size_t size) {
  if (!rate) return std::nullopt;
  return *rate * static_cast<double>(size) / 1e6;
}

void print_rates(const std::vector<Subject>& subjects, const Plan& plan) {
  std::printf(
      "\nSustained: messages sent without awaiting answers (median of "
      "%d runs of %d and %d messages; MB/s each way)\n",
      plan.rate_repeats, plan.small_stream, plan.large_stream);
  print_name("");
  print_heading(plan.sizes[0].label, 2);
  print_heading(plan.sizes[LARGEST].label, 2);
  std::printf("\n");
  print_name("relay");
  for (int i = 0; i < 2; ++i) {
    print_heading("msg/s", 1);
    print_heading("MB/s", 1);
  }
  std::printf("\n");
  for (const Subject& subject : subjects) {
    if (subject.partial) continue;
    const Figures& figures = subject.figures;
    print_name(subject.relay.name);
    print_cell(figures.small_rate);
    print_cell(megabytes(figures.small_rate, plan.sizes[0].bytes));
    print_cell(figures.large_rate);
    print_cell(megabytes(figures.large_rate, plan.sizes[LARGEST].bytes));
    std::printf("\n");
  }
}

void print_start_ups(const std::vector<Subject>& subjects, const Plan& plan) {
  std::printf(
      "\nStart-up, microseconds (%d starts each, %d under Wine): spawn to "
      "the first answer with the app running; spawn to exit with no app\n",
      plan.start_ups, plan.wine_start_ups);
  print_name("");
  print_heading("first answer", 2);
  print_heading("no app: exit", 2);
  std::printf("\n");
  print_name("relay");
  for (int i = 0; i < 2; ++i) {
    print_heading("p50", 1);
    print_heading("p99", 1);
  }
  std::printf("\n");
  for (const Subject& subject : subjects) {
    const Figures& figures = subject.figures;
    print_name(subject.relay.name);
    for (const auto& time : {figures.first_answer_us, figures.not_running_us}) {
      print_cell(time ? std::optional(time->p50) : std::nullopt);
      print_cell(time ? std::optional(time->p99) : std::nullopt);
    }
    std::printf("\n");
  }
}

std::optional<double> kib(long value) { return static_cast<double>(value); }

void print_memory(const std::vector<Subject>& subjects, const Plan& plan) {
  std::printf(
      "\nResident memory of the relay process, KiB, 1 MiB messages both "
      "ways (median of %d sessions)\n",
      plan.sessions);
  print_name("relay");
  for (const char* heading : {"idle RSS", "peak HWM", "peak-idle"}) {
    print_heading(heading, 1);
  }
  std::printf("\n");
  for (const Subject& subject : subjects) {
    if (!subject.figures.memory) continue;
    const Memory& memory = *subject.figures.memory;
    print_name(subject.relay.name);
    print_cell(kib(memory.idle));
    print_cell(kib(memory.peak));
    print_cell(kib(memory.peak - memory.idle));
    std::printf("\n");
  }
}

}  // namespace

void print_report(const std::vector<Subject>& subjects, const Plan& plan,
                  const std::string& preamble) {
  std::printf("%s", preamble.c_str());
  print_round_trips(subjects, plan);
  print_rates(subjects, plan);
  print_start_ups(subjects, plan);
  print_memory(subjects, plan);
  print_ratios(subjects, plan, Role::Floor, "floor");
  print_ratios(subjects, plan, Role::Script, "Python");
  print_targets(subjects, plan);
  std::fflush(stdout);
}

}  // namespace bench
