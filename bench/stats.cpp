#include "stats.h"

#include <algorithm>
#include <cmath>

namespace bench {

double percentile(std::vector<double> samples, double percent) {
  if (samples.empty()) return 0.0;
  std::sort(samples.begin(), samples.end());
  double rank =
      std::ceil(percent / 100.0 * static_cast<double>(samples.size()));
  auto index = static_cast<std::size_t>(std::max(rank, 1.0)) - 1;
  return samples[std::min(index, samples.size() - 1)];
}

}  // namespace bench
