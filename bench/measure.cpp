#include "measure.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <random>

#include "round_trips.h"
#include "start_up.h"
#include "stats.h"
#include "text_kinds.h"
#include "throughput.h"

namespace bench {

namespace {

void progress(const char* what, const char* detail) {
  std::fprintf(stderr, "relay_bench: %s %s\n", what, detail);
}

std::vector<double> each(const std::vector<Session>& sessions, double percent) {
  std::vector<double> figures;
  figures.reserve(sessions.size());
  for (const Session& session : sessions) {
    figures.push_back(percentile(session.round_trips_us, percent));
  }
  return figures;
}

template <typename Field>
long median_kib(const std::vector<Session>& sessions, Field field) {
  std::vector<double> values;
  values.reserve(sessions.size());
  for (const Session& session : sessions) {
    values.push_back(static_cast<double>(session.*field));
  }
  return static_cast<long>(median(values));
}

Memory memory_of(const std::vector<Session>& sessions) {
  return {median_kib(sessions, &Session::idle_rss_kib),
          median_kib(sessions, &Session::peak_kib)};
}

// The subjects in the order of one round: shuffled (the same way on every
// run), so that none always follows the same other one and pays for what it
// left behind (a Python host that has just freed its memory, say).
std::vector<std::size_t> turn_order(std::size_t count, int round) {
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::mt19937 shuffle_source(static_cast<std::uint32_t>(round) + 1);
  std::shuffle(order.begin(), order.end(), shuffle_source);
  return order;
}

int sessions_for(const Subject& subject, const Plan& plan) {
  return subject.partial ? plan.wine_sessions : plan.sessions;
}

int start_ups_for(const Subject& subject, const Plan& plan) {
  return subject.partial ? plan.wine_start_ups : plan.start_ups;
}

int messages_for(const Subject& subject, const Plan& plan, std::size_t size) {
  return subject.partial ? plan.wine_messages : plan.sizes[size].messages;
}

bool measured_at(const Subject& subject, TextKind kind, std::size_t size) {
  return !subject.partial || (kind == TextKind::Ascii && size == 0);
}

void measure_round_trips(std::vector<Subject>& subjects, const Plan& plan,
                         const Places& places, TextKind kind,
                         std::size_t size) {
  std::string what =
      std::string(plan.sizes[size].label) + ", " + kind_name(kind) + " text";
  progress("round trips of", what.c_str());
  const std::string message = json_text(kind, plan.sizes[size].bytes);
  std::vector<std::vector<Session>> sessions(subjects.size());
  int rounds = std::max(plan.sessions, plan.wine_sessions);
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t i : turn_order(subjects.size(), round)) {
      const Subject& subject = subjects[i];
      if (!measured_at(subject, kind, size)) continue;
      if (round >= sessions_for(subject, plan)) continue;
      sessions[i].push_back(
          round_trip_session(subject.relay, places.app, message,
                             messages_for(subject, plan, size)));
    }
  }
  for (std::size_t i = 0; i < subjects.size(); ++i) {
    if (sessions[i].empty()) continue;
    Figures& figures = subjects[i].figures;
    std::vector<double> medians = each(sessions[i], 50);
    figures.round_trip_us[index_of(kind)][size] =
        Distribution{median(medians), median(each(sessions[i], 99)), medians};
    if (kind == TextKind::Ascii && size == LARGEST) {
      figures.memory = memory_of(sessions[i]);
    }
  }
}

void measure_rates(std::vector<Subject>& subjects, const Plan& plan,
                   const Places& places) {
  progress("sustained rates of", "the smallest and largest messages");
  const std::string small = json_text(TextKind::Ascii, plan.sizes[0].bytes);
  const std::string large =
      json_text(TextKind::Ascii, plan.sizes[LARGEST].bytes);
  std::vector<std::vector<double>> small_rates(subjects.size());
  std::vector<std::vector<double>> large_rates(subjects.size());
  for (int round = 0; round < plan.rate_repeats; ++round) {
    for (std::size_t i : turn_order(subjects.size(), round)) {
      if (subjects[i].partial) continue;
      const Relay& relay = subjects[i].relay;
      small_rates[i].push_back(
          messages_per_second(relay, places.app, small, plan.small_stream));
      large_rates[i].push_back(
          messages_per_second(relay, places.app, large, plan.large_stream));
    }
  }
  for (std::size_t i = 0; i < subjects.size(); ++i) {
    if (subjects[i].partial) continue;
    subjects[i].figures.small_rate = median(small_rates[i]);
    subjects[i].figures.large_rate = median(large_rates[i]);
  }
}

template <typename Measure>
void measure_start_ups(std::vector<Subject>& subjects, const Plan& plan,
                       const std::string& directory,
                       std::optional<Distribution> Figures::*figure,
                       Measure measure) {
  std::vector<std::vector<double>> times(subjects.size());
  int rounds = std::max(plan.start_ups, plan.wine_start_ups);
  // The Python host starts in a block of its own: on this machine, a start
  // right after one of its exits was a third slower than after any other.
  for (bool script : {false, true}) {
    for (int round = 0; round < rounds; ++round) {
      for (std::size_t i : turn_order(subjects.size(), round)) {
        const Subject& subject = subjects[i];
        if ((subject.role == Role::Script) != script ||
            round >= start_ups_for(subject, plan)) {
          continue;
        }
        times[i].push_back(measure(subject.relay, directory));
      }
    }
  }
  for (std::size_t i = 0; i < subjects.size(); ++i) {
    if (times[i].empty()) continue;
    subjects[i].figures.*figure =
        Distribution{median(times[i]), percentile(times[i], 99), times[i]};
  }
}

}  // namespace

void measure_all(std::vector<Subject>& subjects, const Plan& plan,
                 const Places& places) {
  progress("start-up to the first answer", "");
  measure_start_ups(subjects, plan, places.app, &Figures::first_answer_us,
                    first_answer_us);
  progress("start-up to the exit with no app", "");
  measure_start_ups(subjects, plan, places.no_app, &Figures::not_running_us,
                    not_running_exit_us);
  for (TextKind kind : TEXT_KINDS) {
    for (std::size_t size = 0; size < SIZE_COUNT; ++size) {
      measure_round_trips(subjects, plan, places, kind, size);
    }
  }
  measure_rates(subjects, plan, places);
}

}  // namespace bench
