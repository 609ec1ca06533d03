#include "plan.h"

#include <algorithm>

namespace bench {

Plan quick_plan() {
  Plan plan;
  for (MessageSize& size : plan.sizes) {
    size.messages = std::max(size.messages / 5, 5);
  }
  plan.sessions = 3;
  plan.rate_repeats = 1;
  plan.small_stream /= 5;
  plan.large_stream /= 5;
  plan.start_ups /= 5;
  plan.wine_sessions = 1;
  plan.wine_messages /= 5;
  plan.wine_start_ups /= 5;
  return plan;
}

}  // namespace bench
