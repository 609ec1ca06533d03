#include "targets.h"

#include <cstdio>
#include <functional>
#include <string>

#include "report_cells.h"
#include "stats.h"
#include "text_kinds.h"

namespace bench {

namespace {

constexpr double KIB_PER_MIB = 1024.0;

// The host's round trip over the floor's, at every size and kind of text.
constexpr double ROUND_TRIP_LIMIT = 1.10;

using Pick = std::function<const std::optional<Distribution>&(const Figures&)>;

// A figure compared between relays: a median, compared round by round, or
// a 99th percentile, compared as it stands.
struct Line {
  std::string name;
  Pick pick;
  bool tail;
};

Pick round_trip(TextKind kind, std::size_t size) {
  return [kind,
          size](const Figures& figures) -> const std::optional<Distribution>& {
    return figures.round_trip_us[index_of(kind)][size];
  };
}

// "Latin 64 KiB"
std::string kind_and_size(TextKind kind, const Plan& plan, std::size_t size) {
  return std::string(kind_name(kind)) + " " + plan.sizes[size].label;
}

Pick field(std::optional<Distribution> Figures::*member) {
  return
      [member](const Figures& figures) -> const std::optional<Distribution>& {
        return figures.*member;
      };
}

std::vector<Line> compared_lines(const Plan& plan) {
  std::vector<Line> lines;
  for (TextKind kind : TEXT_KINDS) {
    for (std::size_t size = 0; size < SIZE_COUNT; ++size) {
      std::string label = "round trip " + kind_and_size(kind, plan, size);
      lines.push_back({label + " p50", round_trip(kind, size), false});
      lines.push_back({label + " p99", round_trip(kind, size), true});
    }
  }
  lines.push_back(
      {"first answer p50", field(&Figures::first_answer_us), false});
  lines.push_back({"first answer p99", field(&Figures::first_answer_us), true});
  lines.push_back({"no app: exit p50", field(&Figures::not_running_us), false});
  lines.push_back({"no app: exit p99", field(&Figures::not_running_us), true});
  return lines;
}

// The median of the round-by-round ratios.
std::optional<double> paired_ratio(const std::vector<double>& top,
                                   const std::vector<double>& bottom) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < top.size() && i < bottom.size(); ++i) {
    if (bottom[i] > 0.0) ratios.push_back(top[i] / bottom[i]);
  }
  if (ratios.empty()) return std::nullopt;
  return median(ratios);
}

std::optional<double> ratio(const Line& line, const Subject& host,
                            const Subject& base) {
  const std::optional<Distribution>& top = line.pick(host.figures);
  const std::optional<Distribution>& bottom = line.pick(base.figures);
  if (!top || !bottom) return std::nullopt;
  if (!line.tail) return paired_ratio(top->rounds, bottom->rounds);
  if (bottom->p99 <= 0.0) return std::nullopt;
  return top->p99 / bottom->p99;
}

const Subject* find_role(const std::vector<Subject>& subjects, Role role) {
  for (const Subject& subject : subjects) {
    if (subject.role == role) return &subject;
  }
  return nullptr;
}

std::vector<const Subject*> hosts(const std::vector<Subject>& subjects) {
  std::vector<const Subject*> found;
  for (const Subject& subject : subjects) {
    if (subject.role == Role::Host) found.push_back(&subject);
  }
  return found;
}

void print_host_columns(const std::vector<const Subject*>& columns) {
  for (const Subject* host : columns) {
    std::printf("%*s", 2 * CELL_WIDTH, host->column.c_str());
  }
  std::printf("\n");
}

// A figure against its limit, as "1.07 met" or "1.31 MISSED".
void print_verdict(std::optional<double> value, double limit) {
  if (!value) {
    std::printf("%*s", 2 * CELL_WIDTH, "-");
    return;
  }
  std::printf("%*.2f %-*s", CELL_WIDTH, *value, CELL_WIDTH - 1,
              *value <= limit ? "met" : "MISSED");
}

std::optional<double> growth_mib(const Subject& host) {
  if (!host.figures.memory) return std::nullopt;
  const Memory& memory = *host.figures.memory;
  return static_cast<double>(memory.peak - memory.idle) / KIB_PER_MIB;
}

// The host's round trip over the Python host's at the text and size where
// the host compares worst.
std::optional<double> worst_against_script(const Subject& host,
                                           const Subject& script) {
  std::optional<double> worst;
  for (TextKind kind : TEXT_KINDS) {
    for (std::size_t size = 0; size < SIZE_COUNT; ++size) {
      std::optional<double> value =
          ratio({"", round_trip(kind, size), false}, host, script);
      if (value && (!worst || *value > *worst)) worst = value;
    }
  }
  return worst;
}

using Figure = std::function<std::optional<double>(const Subject&)>;

void print_target(const std::string& name, double limit,
                  const std::vector<const Subject*>& columns,
                  const Figure& figure) {
  print_name(name);
  std::printf("%*.2f", CELL_WIDTH, limit);
  for (const Subject* host : columns) print_verdict(figure(*host), limit);
  std::printf("\n");
}

Figure against(const Subject& base, const Line& line) {
  return [&base, line](const Subject& host) { return ratio(line, host, base); };
}

}  // namespace

void print_ratios(const std::vector<Subject>& subjects, const Plan& plan,
                  Role against_role, const char* against_name) {
  const Subject* base = find_role(subjects, against_role);
  std::vector<const Subject*> columns = hosts(subjects);
  if (base == nullptr || columns.empty()) return;
  std::printf(
      "\nRatios: host / %s (below 1 is faster; p50: the median of "
      "the ratios of each round, p99: of the figures above)\n",
      against_name);
  print_name("figure");
  print_host_columns(columns);
  for (const Line& line : compared_lines(plan)) {
    print_name(line.name);
    for (const Subject* host : columns) {
      std::printf("%*s", CELL_WIDTH, "");
      print_cell(ratio(line, *host, *base));
    }
    std::printf("\n");
  }
}

void print_targets(const std::vector<Subject>& subjects, const Plan& plan) {
  const Subject* floor = find_role(subjects, Role::Floor);
  const Subject* script = find_role(subjects, Role::Script);
  std::vector<const Subject*> columns = hosts(subjects);
  if (floor == nullptr || columns.empty()) return;
  std::printf("\nTargets (ratios to the floor as above; memory in MiB)\n");
  print_name("target");
  std::printf("%*s", CELL_WIDTH, "limit");
  print_host_columns(columns);
  for (TextKind kind : TEXT_KINDS) {
    for (std::size_t size = 0; size < SIZE_COUNT; ++size) {
      std::string name = "round trip p50 " + kind_and_size(kind, plan, size);
      print_target(name, ROUND_TRIP_LIMIT, columns,
                   against(*floor, {name, round_trip(kind, size), false}));
    }
  }
  print_target("first answer p50", 1.2, columns,
               against(*floor, {"", field(&Figures::first_answer_us), false}));
  print_target("no app: exit p50", 1.2, columns,
               against(*floor, {"", field(&Figures::not_running_us), false}));
  print_target("peak - idle RSS, MiB", 2.5, columns, growth_mib);
  if (script == nullptr) return;
  print_target("worst round trip p50 / Python", 0.5, columns,
               [script](const Subject& host) {
                 return worst_against_script(host, *script);
               });
}

}  // namespace bench
