#pragma once

#include <string>
#include <vector>

#include "figures.h"
#include "plan.h"

namespace bench {

// The temporary directories the relays are pointed at: one where the app
// runs, one with no trace of it.
struct Places {
  std::string app;
  std::string no_app;
};

// Fills in every subject's figures. Each repeat runs every subject in turn,
// so a burst of load elsewhere on the machine falls on all of them alike.
void measure_all(std::vector<Subject>& subjects, const Plan& plan,
                 const Places& places);

}  // namespace bench
