#pragma once

#include <vector>

#include "figures.h"
#include "plan.h"

namespace bench {

// Each host figure divided by the same figure of the subject in the role
// `against`, one column per host.
void print_ratios(const std::vector<Subject>& subjects, const Plan& plan,
                  Role against, const char* against_name);

// Each target with the figure that meets or misses it, one column per host.
void print_targets(const std::vector<Subject>& subjects, const Plan& plan);

}  // namespace bench
