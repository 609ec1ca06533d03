#include "fail.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {

void fail(const std::string& what) {
  std::fprintf(stderr, "relay_bench: %s\n", what.c_str());
  std::exit(2);
}

void fail_system(const std::string& what) {
  fail(what + ": " + std::strerror(errno));
}

}  // namespace bench
