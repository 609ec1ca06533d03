#include "path_lookup.h"

#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace bench {

bool on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "";
  while (!rest.empty()) {
    std::size_t colon = rest.find(':');
    std::string candidate(rest.substr(0, colon));
    candidate += '/';
    candidate += name;
    if (::access(candidate.c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return false;
}

}  // namespace bench
