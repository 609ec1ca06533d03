#include "proc_status.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace bench {

long status_kib(pid_t pid, const char* field) {
  std::string path = "/proc/" + std::to_string(pid) + "/status";
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return 0;
  char line[256];
  long value = 0;
  std::size_t length = std::strlen(field);
  while (std::fgets(line, sizeof line, file) != nullptr) {
    if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
      std::sscanf(line + length + 1, "%ld", &value);
      break;
    }
  }
  std::fclose(file);
  return value;
}

}  // namespace bench
