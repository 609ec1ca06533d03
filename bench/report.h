#pragma once

#include <string>
#include <vector>

#include "figures.h"
#include "plan.h"

namespace bench {

// Prints the tables, the ratios and the targets to standard output.
// `preamble` opens the report (date, machine, notes).
void print_report(const std::vector<Subject>& subjects, const Plan& plan,
                  const std::string& preamble);

}  // namespace bench
